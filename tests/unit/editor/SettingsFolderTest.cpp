#include "SettingsFolder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace
{
struct SettingsFolderTest : ::testing::Test
{
    void SetUp() override
    {
        LogCapture::instance().clear();
        root = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("settings-test", "", false);
        ASSERT_TRUE (root.createDirectory().wasOk());
    }

    void TearDown() override { (void) root.deleteRecursively(); }

    juce::File root;
};
} // namespace

TEST_F (SettingsFolderTest, AMissingFolderIsMadeAndLeftEmpty)
{
    const auto settings = root.getChildFile ("Quellon Editor").getChildFile ("Quellon Editor.settings");
    ASSERT_TRUE (prepareSettingsFolder (settings).ok);
    EXPECT_TRUE (settings.getParentDirectory().isDirectory());
    EXPECT_EQ (settings.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0)
        << "the trial file is gone";
    EXPECT_FALSE (settings.exists());
}

// Root may write anywhere, so a folder that cannot exist stands in for one
// without write access: its parent is a file.
TEST_F (SettingsFolderTest, AFolderThatCannotBeMadeIsLoggedAsAnError)
{
    const auto blocker = root.getChildFile ("not a folder");
    ASSERT_TRUE (blocker.replaceWithText ("x"));
    const auto settings = blocker.getChildFile ("Quellon Editor").getChildFile ("Quellon Editor.settings");

    const auto r = prepareSettingsFolder (settings);
    EXPECT_FALSE (r.ok);
    EXPECT_TRUE (LogCapture::instance().contains ("Error at SettingsFolder.cpp:"));
    EXPECT_TRUE (LogCapture::instance().contains ("settings will not be kept"));
    EXPECT_TRUE (LogCapture::instance().contains (settings.getParentDirectory().getFullPathName().toStdString()));
}
