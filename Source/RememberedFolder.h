#pragma once

#include <juce_data_structures/juce_data_structures.h>

// Where the file dialogs open: the folder of the last file the user chose in
// any of them, kept under "lastDirectory" in the settings file (which saves
// it on its own schedule).
//
// Holds the settings file, not owned; message thread only.
class RememberedFolder
{
public:
    static constexpr const char* settingsKey = "lastDirectory";

    explicit RememberedFolder (juce::PropertiesFile* settings);

    // The remembered folder (a remembered file gives its folder), or an empty
    // File while none is stored or what is stored no longer exists: the dialog
    // then opens where the desktop chooses.
    juce::File getLastDirectory() const;

    // Where a dialog that suggests a file opens: `defaultName` in the
    // remembered folder, or else in the user's documents folder (the home
    // folder when there is none). An empty name gives the folder itself.
    juce::File getInitialFile (const juce::String& defaultName) const;

    // Stores the chosen file's folder; a file that does not exist yet (the
    // target of a save) and a folder are stored as they are.
    void rememberLastDirectory (const juce::File& chosen);

private:
    juce::PropertiesFile* settings;
};
