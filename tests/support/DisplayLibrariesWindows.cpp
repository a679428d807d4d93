#include "support/DisplayLibraries.h"

void keepDisplayLibrariesLoaded() { }
