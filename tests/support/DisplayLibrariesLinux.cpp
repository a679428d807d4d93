#include "support/DisplayLibraries.h"

#include <dlfcn.h>
#include <initializer_list>

void keepDisplayLibrariesLoaded()
{
    for (const char* library : { "libX11.so.6", "libXext.so.6" })
        (void) dlopen (library, RTLD_NOW | RTLD_NODELETE);
}
