#pragma once

// JUCE loads the X libraries itself and unloads them as it shuts down; what
// they hold for the windows a test opened (alerts, dialogs) is then out of
// LeakSanitizer's sight and would count as leaked. Kept loaded to the end,
// their own globals still hold it. Windows' display libraries stay anyway.
void keepDisplayLibrariesLoaded();
