// A stand-in for the editor's modal dialogs, for testing the end-to-end
// harness that drives them: it shows one file chooser or popup menu the way
// the editor does and prints what the user chose.
//   dialog_probe open|save TITLE PATTERN [START]   prints "CHOSEN <path>" or "CANCELLED"
//   dialog_probe menu ITEM...                        prints "ITEM <id>" (ids from 1; 0 dismissed)
// An item written "-ITEM" is shown disabled.
#include <cstdio>
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
void printChosen (bool chosen, const juce::FileChooser& chooser)
{
    if (chosen)
        std::printf ("CHOSEN %s\n", chooser.getResult().getFullPathName().toRawUTF8());
    else
        std::printf ("CANCELLED\n");
}

int runChooser (bool save, const juce::StringArray& args)
{
    juce::FileChooser chooser (args[2], juce::File (args[4]), args[3], false, false);
    printChosen (save ? chooser.browseForFileToSave (true) : chooser.browseForFileToOpen(), chooser);
    return 0;
}

int runMenu (const juce::StringArray& args)
{
    // A menu opens at the mouse, so give it a window to open over.
    juce::DocumentWindow window ("Dialog probe", juce::Colours::darkgrey, 0);
    window.setBounds (100, 100, 400, 300);
    window.setVisible (true);

    juce::PopupMenu menu;
    for (int i = 2; i < args.size(); ++i)
        menu.addItem (i - 1, args[i].trimCharactersAtStart ("-"), !args[i].startsWith ("-"));

    std::printf ("ITEM %d\n", menu.show());
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    // As in the editor: a standalone app, so JUCE installs its X error handlers.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI gui;

    juce::StringArray args;
    for (int i = 0; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    int status = 2;
    if ((args[1] == "open" || args[1] == "save") && args.size() >= 4)
        status = runChooser (args[1] == "save", args);
    else if (args[1] == "menu" && args.size() >= 3)
        status = runMenu (args);
    else
        std::fprintf (stderr, "usage: dialog_probe open|save TITLE PATTERN [START] | menu ITEM...\n");

    std::fflush (stdout);
    return status;
}
