#pragma once

namespace GuiTest
{
// Keeps JUCE off every X server: a headless test must not latch onto a
// display it does not own, whose end would end the test process with it.
// Call before JUCE starts its GUI support.
void useNoDisplay();
} // namespace GuiTest
