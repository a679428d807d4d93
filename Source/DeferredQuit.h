#pragma once

#include "QuellonEditorService.h"

#include <juce_events/juce_events.h>

#include <functional>

// Quits on request, except while the service writes something to the unit
// that a cut would leave damaged: a restore's writes, which would leave the
// unit half old and half restored, and a firmware image before its last
// message, which the unit cannot tell from a whole one. Such a request is
// held and carried out as soon as the job has left that state, whether it
// succeeded or failed; the unit's own time limits see to it that it does.
//
// Threads: message thread only; while it holds a request it looks at the
// service's state on a timer.
class DeferredQuit : private juce::Timer
{
public:
    using State = Quellon::QuellonEditorService::State;

    // `currentState` reads the service's state; `quit` ends the program;
    // `onHeld` tells the user, once, that the program closes after the job.
    DeferredQuit (std::function<State()> currentState, std::function<void()> quit, std::function<void()> onHeld);
    ~DeferredQuit() override;

    // Whether a job in `state` must run to its end before the program quits.
    static bool holdsQuit (State state);

    // Quits now, or once the running job has left a state that holds it.
    void request();
    bool isHeld() const noexcept { return held; }

    static constexpr int pollIntervalMs = 100;

private:
    void timerCallback() override;

    std::function<State()> currentState;
    std::function<void()> quit;
    std::function<void()> onHeld;
    bool held = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeferredQuit)
};
