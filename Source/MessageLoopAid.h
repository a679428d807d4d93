#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// Mends, for the editor's one window, what the framework's message loop gets
// wrong on this platform:
// - Linux: events that Xlib has read ahead wait in its queue while the loop
//   sleeps on the X socket (XEventDrain);
// - Windows under Wine: the framework's repaint thread waits for a vertical
//   blank that Wine never signals, so the window stops updating after its
//   first paint; a timer paints what is pending instead, 60 times a second
//   while some window has asked for a repaint. On Windows itself nothing is
//   needed.
// The application holds it from showing the window until just before
// deleting it.
//
// Threads: made, run and destroyed on the message thread.
class MessageLoopAid
{
public:
    virtual ~MessageLoopAid() = default;
};

// Null where this platform needs nothing. `window` must outlive the result.
std::unique_ptr<MessageLoopAid> startMessageLoopAid (juce::Component& window);
