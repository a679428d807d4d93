#include "support/TestDisplay.h"

namespace GuiTest
{
void useNoDisplay() { }
void keepDisplayLibrariesLoaded() { }
} // namespace GuiTest
