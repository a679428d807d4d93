#include "support/LogCapture.h"
#include "support/TestDisplay.h"

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

    GuiTest::keepDisplayLibrariesLoaded();

    juce::ScopedJuceInitialiser_GUI gui;
    return RUN_ALL_TESTS();
}
