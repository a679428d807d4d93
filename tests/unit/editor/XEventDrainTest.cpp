// Events that the framework's own calls have read ahead into Xlib's queue
// still reach the window, although the X connection's socket stays quiet.

#include <gtest/gtest.h>

#if defined(__linux__)
// Xlib's declarations come with the framework's header only when asked for
// the first time, and after GoogleTest's (Xlib's macros would break it).
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "XEventDrain.h"
#include "support/GuiTestSupport.h"

namespace
{
struct ClickableWindow : juce::Component
{
    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colours::black);
        ++paints;
    }

    void mouseUp (const juce::MouseEvent&) override { ++clicks; }

    int paints = 0;
    int clicks = 0;
};

::Display* display()
{
    return juce::XWindowSystem::getInstance()->getDisplay();
}

int queuedEvents()
{
    juce::XWindowSystemUtilities::ScopedXLock lock;
    return juce::X11Symbols::getInstance()->xEventsQueued (display(), QueuedAlready);
}

// A left click at (x, y) of the window, as the server would report one; the
// round trip after it leaves both events in Xlib's queue and none on the socket.
void clickAndReadAhead (juce::Component& window, int x, int y)
{
    auto* xlib = juce::X11Symbols::getInstance();
    const auto handle = (::Window) (juce::pointer_sized_uint) window.getPeer()->getNativeHandle();
    juce::XWindowSystemUtilities::ScopedXLock lock;

    for (const auto type : { ButtonPress, ButtonRelease })
    {
        XEvent event {};
        event.xbutton.type = type;
        event.xbutton.window = handle;
        event.xbutton.root = xlib->xDefaultRootWindow (display());
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.state = type == ButtonPress ? 0 : Button1Mask;
        event.xbutton.same_screen = True;
        xlib->xSendEvent (display(), handle, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }

    xlib->xSync (display(), False);
}
} // namespace

TEST (XEventDrain, AClickReadAheadIntoXlibsQueueStillReachesTheWindow)
{
    ASSERT_NE (display(), nullptr) << "this test needs an X display";

    ClickableWindow window;
    window.setSize (200, 100);
    window.addToDesktop (0);
    window.setVisible (true);
    XEventDrain drain (window);

    // Shown, painted and quiet.
    ASSERT_TRUE (GuiTest::runUntil ([&] { return window.paints > 0 && queuedEvents() == 0; }, 20000));
    GuiTest::runPendingMessages();

    clickAndReadAhead (window, 50, 50);
    ASSERT_GE (queuedEvents(), 2);
    EXPECT_TRUE (GuiTest::runUntil ([&] { return window.clicks == 1; }, 20000));
}
#endif
