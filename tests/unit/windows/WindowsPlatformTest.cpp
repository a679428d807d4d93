// What only the Windows program does differently: the image pack as a
// resource of the executable and the settings in the application-data folder.
#include "QuellonEditorApplication.h"
#include "Widgets/ProgramResource.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

TEST (WindowsResource, TheImagePackIsResource678OfTheExecutableByteForByte)
{
    juce::MemoryBlock built;
    ASSERT_TRUE (juce::File (QUELLON_IMAGE_PACK_PATH).loadFileAsData (built));

    const auto resource = lockProgramResource (imagePackResourceId);
    ASSERT_NE (resource.data, nullptr);
    ASSERT_EQ (resource.size, built.getSize()) << "the size comes from SizeofResource, not the pack";
    EXPECT_EQ (std::memcmp (resource.data, built.getData(), built.getSize()), 0);
    EXPECT_EQ (lockProgramResource (imagePackResourceId).data, resource.data) << "the block stays where it is";
}

TEST (WindowsResource, AMissingResourceIsLoggedAndEmpty)
{
    LogCapture::instance().clear();
    const auto missing = lockProgramResource (679);
    EXPECT_EQ (missing.data, nullptr);
    EXPECT_EQ (missing.size, 0u);
    EXPECT_TRUE (LogCapture::instance().contains ("The program carries no resource 679"));
    EXPECT_TRUE (LogCapture::instance().contains ("Error at ProgramResourceWindows.cpp:"));
}

TEST (WindowsSettings, LiveInTheUsersApplicationDataFolder)
{
    const auto file = QuellonEditorApplication::settingsOptions().getDefaultFile();
    const auto appData = juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);

    EXPECT_EQ (file, appData.getChildFile ("Quellon Editor").getChildFile ("Quellon Editor.settings"));
    EXPECT_FALSE (file.getFullPathName().contains (".config"));
}
