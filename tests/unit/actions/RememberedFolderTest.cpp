#include "RememberedFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace
{
// A settings file and a home folder of the test's own.
class RememberedFolderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        home = root.getFile().getChildFile ("home");
        ASSERT_TRUE (home.createDirectory());
        const char* old = std::getenv ("HOME");
        oldHome = old != nullptr ? old : "";
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

        juce::PropertiesFile::Options options;
        options.applicationName = "RememberedFolderTest";
        options.millisecondsBeforeSaving = -1;
        settings = std::make_unique<juce::PropertiesFile> (root.getFile().getChildFile ("test.settings"), options);
    }

    void TearDown() override { setenv ("HOME", oldHome.c_str(), 1); }

    juce::File makeFolder (const char* name)
    {
        auto f = root.getFile().getChildFile (name);
        EXPECT_TRUE (f.createDirectory());
        return f;
    }

    juce::File makeFile (const juce::File& folder, const char* name)
    {
        auto f = folder.getChildFile (name);
        EXPECT_TRUE (f.replaceWithText ("x"));
        return f;
    }

    juce::TemporaryFile root { "remembered" };
    juce::File home;
    std::string oldHome;
    std::unique_ptr<juce::PropertiesFile> settings;
};
} // namespace

TEST_F (RememberedFolderTest, NothingStoredOpensInTheDocumentsFolderOrWhereTheDesktopChooses)
{
    RememberedFolder folder (settings.get());
    EXPECT_EQ (folder.getLastDirectory(), juce::File());

    // No documents folder: the home folder.
    EXPECT_EQ (folder.getInitialFile ("Backup.bbu"), home.getChildFile ("Backup.bbu"));

    ASSERT_TRUE (home.getChildFile ("Documents").createDirectory());
    EXPECT_EQ (folder.getInitialFile ("DSP Firmware.ldr"), home.getChildFile ("Documents/DSP Firmware.ldr"));
    EXPECT_EQ (folder.getInitialFile (""), home.getChildFile ("Documents"));
}

TEST_F (RememberedFolderTest, AChosenFileLeavesItsFolder)
{
    RememberedFolder folder (settings.get());
    const auto bundles = makeFolder ("bundles");
    folder.rememberLastDirectory (makeFile (bundles, "old.bbu"));

    EXPECT_EQ (settings->getValue ("lastDirectory"), bundles.getFullPathName());
    EXPECT_EQ (folder.getLastDirectory(), bundles);
    EXPECT_EQ (folder.getInitialFile ("Backup.bbu"), bundles.getChildFile ("Backup.bbu"));

    // A folder is kept as it is.
    const auto other = makeFolder ("other");
    folder.rememberLastDirectory (other);
    EXPECT_EQ (folder.getLastDirectory(), other);
}

TEST_F (RememberedFolderTest, ASaveTargetCountsOnceItExists)
{
    RememberedFolder folder (settings.get());
    const auto target = makeFolder ("saves").getChildFile ("Backup 2.bbu");
    folder.rememberLastDirectory (target);

    // Stored as chosen, but a path that names nothing is not a folder to open in.
    EXPECT_EQ (settings->getValue ("lastDirectory"), target.getFullPathName());
    EXPECT_EQ (folder.getLastDirectory(), juce::File());
    EXPECT_EQ (folder.getInitialFile ("Backup.bbu"), home.getChildFile ("Backup.bbu"));

    ASSERT_TRUE (target.replaceWithText ("bundle"));
    EXPECT_EQ (folder.getLastDirectory(), target.getParentDirectory());
}

TEST_F (RememberedFolderTest, WhatIsStoredMayBeGone)
{
    RememberedFolder folder (settings.get());
    const auto gone = makeFolder ("gone");
    folder.rememberLastDirectory (gone);
    ASSERT_TRUE (gone.deleteRecursively());
    EXPECT_EQ (folder.getLastDirectory(), juce::File());

    for (const char* stored : { "", "relative/folder", "\x01\x02" })
    {
        settings->setValue ("lastDirectory", juce::String (stored));
        EXPECT_EQ (folder.getLastDirectory(), juce::File()) << stored;
    }

    RememberedFolder withoutSettings (nullptr);
    withoutSettings.rememberLastDirectory (home);
    EXPECT_EQ (withoutSettings.getLastDirectory(), juce::File());
}
