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
//   while some window has asked for a repaint;
// - Windows, under Wine as well: a WM_CLOSE from outside would destroy the
//   framework's hidden message window, and the loop with it; starting the aid
//   turns that message into the application's quit request for the rest of
//   the run.
// The application holds it from showing the window until just before
// deleting it.
//
// Threads: made, run and destroyed on the message thread.
class MessageLoopAid
{
public:
    virtual ~MessageLoopAid() = default;
};

// Null where nothing needs to stay (Windows itself, once the message window is
// mended). `window` must outlive the result.
std::unique_ptr<MessageLoopAid> startMessageLoopAid (juce::Component& window);
