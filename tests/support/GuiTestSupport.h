#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace GuiTest
{
// Runs the message loop until `done` holds or `timeoutMs` has passed; true
// when `done` held.
inline bool runUntil (const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }
    return true;
}

// Lets every message that is already queued run.
inline void runPendingMessages()
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
}

// A mouse event on `component` at `position` (in its own coordinates), as
// the framework would deliver it.
inline juce::MouseEvent mouseEvent (juce::Component& component, juce::Point<float> position,
                                    juce::Point<float> downPosition, juce::ModifierKeys modifiers = {},
                                    int clicks = 1)
{
    auto source = juce::Desktop::getInstance().getMainMouseSource();
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent (source, position, modifiers, juce::MouseInputSource::defaultPressure,
                             juce::MouseInputSource::defaultOrientation, juce::MouseInputSource::defaultRotation,
                             juce::MouseInputSource::defaultTiltX, juce::MouseInputSource::defaultTiltY,
                             &component, &component, now, downPosition, now, clicks, false);
}
} // namespace GuiTest
