#include "support/TestDisplay.h"

#include <cstdlib>
#include <dlfcn.h>
#include <initializer_list>

namespace GuiTest
{
void useNoDisplay()
{
    // Not a display name at all: Xlib refuses it before opening any
    // connection (an empty DISPLAY would make JUCE try ":0.0"), and JUCE
    // then goes on without a windowing system.
    ::setenv ("DISPLAY", "none", 1);
}

void keepDisplayLibrariesLoaded()
{
    for (const char* library : { "libX11.so.6", "libXext.so.6" })
        (void) dlopen (library, RTLD_NOW | RTLD_NODELETE);
}
} // namespace GuiTest
