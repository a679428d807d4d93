#include "SettingsFolder.h"

const char* settingsFolderName()
{
    // JUCE puts it in the user's application-data folder on Windows.
    return "Quellon Editor";
}
