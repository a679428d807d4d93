#include "support/NoDisplay.h"

#include <cstdlib>

namespace GuiTest
{
void useNoDisplay()
{
#if defined(__linux__)
    // Not a display name at all: Xlib refuses it before opening any
    // connection (an empty DISPLAY would make JUCE try ":0.0"), and JUCE
    // then goes on without a windowing system.
    ::setenv ("DISPLAY", "none", 1);
#endif
}
} // namespace GuiTest
