#include "SettingsFolder.h"

Korvalune::Result prepareSettingsFolder (const juce::File& settingsFile)
{
    const auto folder = settingsFile.getParentDirectory();

    if (settingsFile == juce::File() || ! folder.createDirectory().wasOk())
        return KORVALUNE_ERROR ("The settings folder %s cannot be made; settings will not be kept",
            folder.getFullPathName().toRawUTF8());

    // The folder's permissions alone do not tell: a trial file does.
    juce::TemporaryFile trial (settingsFile);

    if (! trial.getFile().replaceWithText ("trial") || ! trial.deleteTemporaryFile())
        return KORVALUNE_ERROR ("The settings folder %s cannot be written; settings will not be kept",
            folder.getFullPathName().toRawUTF8());

    return Korvalune::okResult;
}
