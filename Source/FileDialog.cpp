#include "FileDialog.h"

juce::File FileDialog::ask (const Question& question)
{
    // JUCE falls back to its own dialog where the desktop offers none.
    constexpr bool desktopDialog = true;
    constexpr bool packagesAreFolders = false;

    juce::FileChooser chooser (question.title, question.initialLocation, question.patterns, desktopDialog,
        packagesAreFolders);
    const bool chosen = question.save ? chooser.browseForFileToSave (true) : chooser.browseForFileToOpen();
    return chosen ? chooser.getResult() : juce::File();
}
