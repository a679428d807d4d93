#include "SettingsFolder.h"

const char* settingsFolderName()
{
    // JUCE puts it under the home folder on Linux; .config is where desktops look.
    return ".config/Quellon Editor";
}
