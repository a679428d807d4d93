// The view's file dialogs on a desktop that has its own: a stand-in zenity on
// the PATH records what it is run with and answers a file. An executable of
// its own, since JUCE looks for zenity only once per process.

#include "unit/editor/ViewTestSupport.h"

#include <cstdlib>

using namespace viewtest;

namespace
{
// Closes whatever modal window comes up, so that JUCE's own dialog, shown in
// place of the desktop's, fails the test instead of waiting for a user.
struct ModalCloser : juce::Timer
{
    ModalCloser() { startTimer (100); }
    ~ModalCloser() override { stopTimer(); }
    void timerCallback() override { juce::ModalComponentManager::getInstance()->cancelAllModalComponents(); }
};

class NativeDialog : public ViewFixture
{
protected:
    void SetUp() override
    {
        const auto bin = folder.getFile().getChildFile ("bin");
        ASSERT_TRUE (bin.createDirectory());
        ASSERT_TRUE (answer.create());

        const auto zenity = bin.getChildFile ("zenity");
        ASSERT_TRUE (zenity.replaceWithText ("#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > '"
                                             + record.getFullPathName() + "'\necho '" + answer.getFullPathName()
                                             + "'\n",
                                             false, false, "\n"));
        ASSERT_TRUE (zenity.setExecutePermission (true));

        const char* path = std::getenv ("PATH");
        oldPath = path != nullptr ? path : "";
        setenv ("PATH", (bin.getFullPathName() + ":" + oldPath).toRawUTF8(), 1);
        unsetenv ("KDE_FULL_SESSION");
        oldFolder = juce::File::getCurrentWorkingDirectory();

        juce::PropertiesFile::Options options;
        options.applicationName = "NativeDialogTest";
        options.millisecondsBeforeSaving = -1;
        settings = std::make_unique<juce::PropertiesFile> (folder.getFile().getChildFile ("test.settings"), options);

        ViewFixture::SetUp();
        view = std::make_unique<MainComponent> (settings.get(), &service);
        settle();
    }

    void TearDown() override
    {
        ViewFixture::TearDown();
        setenv ("PATH", oldPath.c_str(), 1);
        // The desktop's dialog is started in its folder.
        oldFolder.setAsCurrentWorkingDirectory();
    }

    // The stand-in's working directory, then its arguments, one a line.
    juce::StringArray recorded() const
    {
        auto lines = juce::StringArray::fromLines (record.loadFileAsString().trimEnd());
        (void) record.deleteFile();
        return lines;
    }

    juce::TemporaryFile folder { "dialogs" };
    const juce::File record = folder.getFile().getChildFile ("zenity.txt");
    const juce::File answer = folder.getFile().getChildFile ("answers/Chosen.bbu");
    std::string oldPath;
    juce::File oldFolder;
    std::unique_ptr<juce::PropertiesFile> settings;
    ModalCloser closer;
};
} // namespace

TEST_F (NativeDialog, ZenityGetsTheTitlePatternAndFolderAndItsAnswerIsTaken)
{
    const auto bundles = folder.getFile().getChildFile ("bundles");
    ASSERT_TRUE (bundles.createDirectory());
    settings->setValue ("lastDirectory", bundles.getFullPathName());

    view->startRestore();
    auto run = recorded();
    ASSERT_FALSE (run.isEmpty()) << "the desktop's dialog was not asked";
    EXPECT_EQ (run[0], bundles.getFullPathName());
    EXPECT_EQ (run[1], "--file-selection");
    EXPECT_TRUE (run.contains ("--title=Restore Backup Bundle")) << run.joinIntoString (" ");
    EXPECT_TRUE (run.contains ("--file-filter=*.bbu"));
    EXPECT_FALSE (run.contains ("--save"));
    EXPECT_EQ (settings->getValue ("lastDirectory"), answer.getParentDirectory().getFullPathName())
        << "the answer's folder is remembered";

    view->startBackup();
    run = recorded();
    EXPECT_EQ (run[0], answer.getParentDirectory().getFullPathName());
    for (auto* argument : { "--save", "--confirm-overwrite", "--title=Save Backup Bundle", "--file-filter=*.bbu",
                            "--filename=Backup.bbu" })
        EXPECT_TRUE (run.contains (argument)) << argument << " in " << run.joinIntoString (" ");

    view->importCabinet (0);
    EXPECT_TRUE (recorded().contains ("--file-filter=*.wav *.cab"));
}
