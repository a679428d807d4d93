#pragma once

#include "Protocol/Result.h"

#include <juce_core/juce_core.h>

// The settings file's folder as juce::PropertiesFile::Options::folderName
// takes it: on Linux ".config/Quellon Editor" under the home folder, on
// Windows "Quellon Editor" in the user's application-data folder.
const char* settingsFolderName();

// Makes the folder of `settingsFile` if it is missing and checks that a file
// can be written there. A failure is logged: the editor then runs on, but
// keeps no settings.
Korvalune::Result prepareSettingsFolder (const juce::File& settingsFile);
