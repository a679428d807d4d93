#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The editor's file dialogs: the desktop's own wherever it has one (Windows'
// system dialog; on Linux zenity or kdialog, which JUCE runs when either is
// installed), JUCE's own where it has none.
//
// Threads: the message thread; a dialog is modal.
class FileDialog
{
public:
    struct Question
    {
        juce::String title;
        juce::File initialLocation;
        juce::String patterns;
        bool save = false; // a save dialog, which asks before overwriting
    };

    // The chosen file, or an empty one when the user cancelled.
    static juce::File ask (const Question& question);
};
