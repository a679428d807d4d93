#include "PreciseTimers.h"

#include <sys/prctl.h>

// The kernel's default timer slack is 50 us per wait.
void usePreciseTimers()
{
    prctl (PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
}
