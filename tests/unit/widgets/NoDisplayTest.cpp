// The headless GUI tests run without an X server, whatever DISPLAY the caller
// has: one that belongs to someone else may go at any moment, and Xlib would
// end the whole test process with it.

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

TEST (NoDisplay, TheFrameworkSeesNoScreenWhateverTheCallersDisplay)
{
    EXPECT_TRUE (juce::Desktop::getInstance().getDisplays().displays.isEmpty());
}
