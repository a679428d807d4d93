#pragma once

// What the GUI tests' main does about the display, which differs per platform.
namespace GuiTest
{
// Keeps JUCE off every X server: a headless test must not latch onto a
// display it does not own, whose end would end the test process with it.
// Call before JUCE starts its GUI support. Windows has no such thing.
void useNoDisplay();

// JUCE loads the X libraries itself and unloads them as it shuts down; what
// they hold for the windows a test opened (alerts, dialogs) is then out of
// LeakSanitizer's sight and would count as leaked. Kept loaded to the end,
// their own globals still hold it. Windows' display libraries stay anyway.
void keepDisplayLibrariesLoaded();
} // namespace GuiTest
