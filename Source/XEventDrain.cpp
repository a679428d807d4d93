// The framework's GUI header brings Xlib's declarations only when asked to
// the first time it is included.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "XEventDrain.h"

#include <juce_events/native/juce_linux_EventLoopInternal.h>

namespace
{
::Display* connection()
{
    auto* system = juce::XWindowSystem::getInstanceWithoutCreating();
    return system != nullptr ? system->getDisplay() : nullptr;
}

// Events Xlib has read but nobody has taken yet; reads nothing itself.
bool eventsWaitInQueue()
{
    auto* display = connection();

    if (display == nullptr)
        return false;

    juce::XWindowSystemUtilities::ScopedXLock lock;
    return juce::X11Symbols::getInstance()->xEventsQueued (display, QueuedAlready) > 0;
}

// The framework's own handler of the X connection: it takes every waiting event.
void handleWaitingEvents()
{
    if (auto* display = connection())
        juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (
            juce::X11Symbols::getInstance()->xConnectionNumber (display));
}
} // namespace

XEventDrain::XEventDrain (juce::Component& window)
    : frames (&window, [this] {
          // Not from inside the window's frame callback: the events may change the window.
          if (eventsWaitInQueue())
              triggerAsyncUpdate();
      })
{
}

XEventDrain::~XEventDrain()
{
    cancelPendingUpdate();
}

void XEventDrain::handleAsyncUpdate()
{
    handleWaitingEvents();
}
