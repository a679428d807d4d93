#pragma once

#include <juce_events/juce_events.h>

#include <memory>

// Keeps windows repainting where the platform's own repaint thread stalls.
// JUCE on Windows repaints from a thread that waits for the display's
// vertical blank, a wait that Wine does not implement: under Wine the window
// never changes after its first paint. There a 60 Hz timer on the message
// thread paints what every window has pending. On Windows itself and on
// Linux nothing is needed and this gives null.
//
// Threads: made, run and destroyed on the message thread.
std::unique_ptr<juce::Timer> startRepaintPumpIfNeeded();
