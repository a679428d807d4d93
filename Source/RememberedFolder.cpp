#include "RememberedFolder.h"

RememberedFolder::RememberedFolder (juce::PropertiesFile* s)
    : settings (s)
{
}

juce::File RememberedFolder::getLastDirectory() const
{
    const auto stored = settings != nullptr ? settings->getValue (settingsKey) : juce::String();

    // The settings file is the user's to edit: anything but an absolute path
    // counts as nothing stored.
    if (!juce::File::isAbsolutePath (stored))
        return {};

    auto folder = juce::File (stored);

    if (folder.existsAsFile())
        folder = folder.getParentDirectory();

    return folder.exists() ? folder : juce::File();
}

juce::File RememberedFolder::getInitialFile (const juce::String& defaultName) const
{
    auto folder = getLastDirectory();

    if (folder == juce::File() || !folder.exists())
    {
        folder = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);

        // Not every desktop makes a documents folder; saving into one that
        // is not there would fail.
        if (!folder.isDirectory())
            folder = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    }

    return defaultName.isEmpty() ? folder : folder.getChildFile (defaultName);
}

void RememberedFolder::rememberLastDirectory (const juce::File& chosen)
{
    if (settings == nullptr || chosen == juce::File())
        return;

    const auto folder = chosen.existsAsFile() ? chosen.getParentDirectory() : chosen;
    settings->setValue (settingsKey, folder.getFullPathName());
}
