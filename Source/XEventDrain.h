#pragma once

#include "MessageLoopAid.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Hands the events that wait in Xlib's own queue to the framework's handler
// of the X connection, once per frame of the watched window.
//
// JUCE's Linux message loop sleeps in poll() on the X connection's socket,
// yet some of its calls made outside its event handler (the round trips of
// window operations, the look for finished shared-memory paints at each
// frame) read whatever events have arrived into Xlib's queue. The socket is
// then empty, and those events wait for the next one to arrive: a click on
// the close button waited until the pointer moved.
//
// Owns: the frame callback on `window`, which must outlive it.
// Threads: the message thread only. Locks: none of its own; the framework's
// X lock while it looks at the queue.
class XEventDrain : public MessageLoopAid,
                    private juce::AsyncUpdater
{
public:
    explicit XEventDrain (juce::Component& window);
    ~XEventDrain() override;

private:
    void handleAsyncUpdate() override;

    juce::VBlankAttachment frames;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (XEventDrain)
};
