#include "support/LogCapture.h"
#include "support/NoDisplay.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// The main of the GUI tests: the thread that runs the tests is JUCE's message
// thread, so components, timers and async updates work as in the editor.
int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    LogCapture::instance().install();

#if QUELLON_TEST_HEADLESS
    GuiTest::useNoDisplay();
#endif

    // With an application factory set, JUCE counts as a standalone app and
    // installs its X error handlers; without them the first window on a bare
    // X server (no window manager) aborts the process.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    // JUCE loads the X libraries itself and unloads them as it shuts down;
    // what they hold for the windows a test opened (alerts, dialogs) is then
    // out of LeakSanitizer's sight and would count as leaked. Kept loaded to
    // the end, their own globals still hold it.
    for (const char* library : { "libX11.so.6", "libXext.so.6" })
        (void) dlopen (library, RTLD_NOW | RTLD_NODELETE);

    juce::ScopedJuceInitialiser_GUI gui;
    return RUN_ALL_TESTS();
}
