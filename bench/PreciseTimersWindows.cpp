#include "PreciseTimers.h"

#include <windows.h>

// Windows' default timer period is 15.6 ms; a millisecond is the finest the
// multimedia timer offers, and it holds for the whole process.
void usePreciseTimers()
{
    timeBeginPeriod (1);
}
