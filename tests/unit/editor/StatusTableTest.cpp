#include "StatusTable.h"

#include <gtest/gtest.h>

using Korvalune::KorvaluneData::DeviceVersionInfo;

TEST (StatusTable, EveryStateHasItsTextSpinnerAndBar)
{
    struct Row
    {
        int state;
        const char* text;
        bool spinner, bar;
    };

    const Row rows[] = {
        { 0, "Not Connected", false, false },
        { 1, "", false, false },
        { 2, "Busy", true, false },
        { 3, "Refreshing...", true, false },
        { 4, "Sending...", true, false },
        { 5, "Receiving...", true, false },
        { 6, "Sending...", true, true },
        { 7, "Receiving...", true, true },
        { 8, "Updating FW...", true, true },
        { 9, "Update Complete\nPlease disconnect/reconnect power supply", false, false },
        { 10, "Firmware update required\nSelect 'Update Firmware' from the file menu", false, false },
    };

    for (auto& row : rows)
    {
        SCOPED_TRACE (row.state);
        const auto look = statusLookFor (row.state);
        EXPECT_STREQ (look.text, row.text);
        EXPECT_EQ (look.spinner, row.spinner);
        EXPECT_EQ (look.progressBar, row.bar);
        EXPECT_EQ (look.menuHighlighted, row.state == 10);
        EXPECT_EQ (statusTextFor (row.state, "ignored", true), juce::String (row.text));
    }
}

TEST (StatusTable, WithoutABuiltInImageAnUpdateIsAskedForFromAFile)
{
    EXPECT_EQ (statusTextFor (10, "", false),
        "Firmware update required\nUse 'Update Firmware from File' in the menu");
}

TEST (StatusTable, ErrorShowsTheLastErrorAndUnknownStatesLookIdle)
{
    EXPECT_EQ (statusTextFor (11, "Timeout waiting for reconnect", true), "Error:\nTimeout waiting for reconnect");
    EXPECT_EQ (statusTextFor (11, "", true), "Error:\n");
    EXPECT_FALSE (statusLookFor (11).spinner);

    for (int state : { -1, 12, 1000 })
    {
        EXPECT_STREQ (statusLookFor (state).text, "");
        EXPECT_EQ (statusTextFor (state, "x", true), "");
    }
}

TEST (StatusTable, FirmwareVersionDropsAZeroFourthNumber)
{
    EXPECT_EQ (formatFirmwareVersion ({ 1, 2, 0, 3 }), "1.2.0.3");
    EXPECT_EQ (formatFirmwareVersion ({ 1, 2, 0, 0 }), "1.2.0");
    EXPECT_EQ (formatFirmwareVersion ({ 0, 0, 0, 0 }), "0.0.0");
    EXPECT_EQ (formatFirmwareVersion ({ 255, 255, 255, 255 }), "255.255.255.255");
}

TEST (StatusTable, FooterNamesTheDspVersionOnlyWithAUnitAttached)
{
    DeviceVersionInfo versions;
    versions.system = { 9, 9, 9, 9 };
    versions.dsp = { 1, 2, 0, 0 };

    EXPECT_EQ (footerText (true, versions), "Editor Version: 1.2.0.1   -   Firmware Version: 1.2.0");
    EXPECT_EQ (footerText (false, versions), "Editor Version: 1.2.0.1   -   Firmware Version: (unknown)");
    // A unit whose version request failed: its version reads 0.0.0.
    EXPECT_EQ (footerText (true, DeviceVersionInfo {}), "Editor Version: 1.2.0.1   -   Firmware Version: 0.0.0");
}
