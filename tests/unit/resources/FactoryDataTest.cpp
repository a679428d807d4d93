#include "Application/InStreamWrapper.h"
#include "BuiltInFirmware.h"
#include "FactoryCabinetTable.h"
#include "Protocol/KorvaluneDataFile.h"
#include "support/MemoryStreams.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using namespace Korvalune;
using namespace Korvalune::KorvaluneData;

namespace
{
const auto& rows = FactoryCabinetTable::getRows();

std::string textOf (const FactoryCabinetTable::Row& row)
{
    return { row.text, row.size };
}

std::vector<double> firstHalf (const UserCabinetData& cabinet)
{
    std::vector<double> samples;
    for (std::size_t i = 0; i < cabinetWords; ++i)
    {
        float f;
        std::memcpy (&f, &cabinet.samples[i], sizeof (f));
        samples.push_back (f);
    }
    return samples;
}

// The response's gain at one frequency, in dB, at 48 kHz.
double gainDb (const std::vector<double>& h, double hz)
{
    double re = 0.0, im = 0.0;
    const auto w = 2.0 * std::acos (-1.0) * hz / 48000.0;
    for (std::size_t n = 0; n < h.size(); ++n)
    {
        re += h[n] * std::cos (w * (double) n);
        im -= h[n] * std::sin (w * (double) n);
    }
    return 20.0 * std::log10 (std::hypot (re, im) + 1e-30);
}

// The frequency below which the response stays more than 10 dB under its peak.
double lowCutHz (const std::vector<double>& h)
{
    double hz = 20.0;
    while (gainDb (h, hz) < -10.0)
        hz *= std::pow (2.0, 1.0 / 24.0);
    return hz;
}
} // namespace

TEST (FactoryCabinets, RowsAreCompleteCabinetFilesInMenuOrder)
{
    const char* names[] = { "BYPASS", "1x12", "1x15", "2x15", "4x10", "8x10 Boogie", "8x10 SVT" };
    const uint32_t indices[] = { 0, 0, 1, 2, 0, 1, 2 };

    for (int i = 0; i < FactoryCabinetTable::numRows; ++i)
    {
        const auto& row = rows[(size_t) i];
        SCOPED_TRACE (row.name);
        EXPECT_STREQ (row.name, names[i]);
        ASSERT_EQ (row.size, 25657u);

        const auto header = "# File Type: User Cabinet data, Index = " + std::to_string (indices[i]) + "\n";
        EXPECT_EQ (textOf (row).substr (0, header.size()), header);

        UserCabinetData cabinet;
        uint32_t index = 99;
        MemoryIn in (row.text, row.size);
        ASSERT_TRUE (readCabinetFile (in, cabinet, &index).ok);
        EXPECT_EQ (index, indices[i]);

        // Written out again, the record gives the very text: nothing in it is
        // outside what the reader understands.
        MemoryOut out;
        ASSERT_TRUE (writeCabinetFile (cabinet, out, index).ok);
        EXPECT_EQ (out.text(), textOf (row));
    }
}

TEST (FactoryCabinets, BypassIsTheDefaultRecord)
{
    UserCabinetData bypass;
    bypass.name = "BYPASS";
    MemoryOut out;
    ASSERT_TRUE (writeCabinetFile (bypass, out, 0).ok);
    EXPECT_EQ (textOf (rows[0]), out.text());

    const auto loaded = FactoryCabinetTable::load (rows[0]);
    EXPECT_EQ (loaded.samples, bypass.samples);
    EXPECT_EQ (loaded.name, "BYPASS");
}

TEST (FactoryCabinets, LoadNamesTheCabinetAfterItsRow)
{
    UserCabinetData stored;
    stored.name = "Name in the file";
    stored.samples[5] = 0x3E800000; // 0.25
    MemoryOut out;
    ASSERT_TRUE (writeCabinetFile (stored, out, 7).ok);
    const auto text = out.text();

    const FactoryCabinetTable::Row row { "8x10 SVT", text.data(), (uint32_t) text.size() };
    const auto loaded = FactoryCabinetTable::load (row);
    EXPECT_EQ (loaded.name, "8x10 SVT");
    EXPECT_EQ (loaded.samples, stored.samples);
    EXPECT_EQ (loaded.slot, 0); // the user picks the slot, not the file

    // The built-in row of that name: the text's samples under the row's name.
    const auto svt = FactoryCabinetTable::load (rows[6]);
    UserCabinetData fromText;
    MemoryIn in (rows[6].text, rows[6].size);
    ASSERT_TRUE (readCabinetFile (in, fromText).ok);
    EXPECT_EQ (svt.samples, fromText.samples);
    EXPECT_EQ (svt.name, "8x10 SVT");
}

TEST (FactoryCabinets, SpeakerCabinetsHaveTheShapeOfOne)
{
    std::vector<double> cuts;

    for (int i = 1; i < FactoryCabinetTable::numRows; ++i)
    {
        SCOPED_TRACE (rows[(size_t) i].name);
        const auto cabinet = FactoryCabinetTable::load (rows[(size_t) i]);
        const auto h = firstHalf (cabinet);

        EXPECT_TRUE (std::equal (
            cabinet.samples.begin(), cabinet.samples.begin() + cabinetWords, cabinet.samples.begin() + cabinetWords));

        double peakSample = 0.0, loudest = -1000.0;
        for (auto s : h)
        {
            ASSERT_TRUE (std::isfinite (s));
            peakSample = std::max (peakSample, std::abs (s));
        }
        for (double hz = 20.0; hz <= 20000.0; hz *= std::pow (2.0, 1.0 / 48.0))
            loudest = std::max (loudest, gainDb (h, hz));

        // No frequency louder than through BYPASS, and the loudest at unity.
        EXPECT_NEAR (loudest, 0.0, 0.1);
        EXPECT_GT (peakSample, 0.01);
        EXPECT_LT (std::abs (h.back()), 1e-6) << "the tail is faded out";

        EXPECT_LT (gainDb (h, 20.0), -20.0) << "low cut";
        EXPECT_GT (gainDb (h, 150.0), -6.0) << "the bass band";
        EXPECT_GT (gainDb (h, 1000.0), -12.0) << "the mids";
        EXPECT_LT (gainDb (h, 16000.0), -40.0) << "high roll-off";
        cuts.push_back (lowCutHz (h));
    }

    // The single 12-inch cone gives up on the lows before the 15-inch ones.
    EXPECT_GT (cuts[0], cuts[1]);
    EXPECT_GT (cuts[0], cuts[2]);
}

TEST (BuiltInFirmware, IsTheConfiguredImage)
{
    // A build that names no image carries none, the placeholder least of all.
    if (std::strlen (QUELLON_FIRMWARE_IMAGE_PATH) == 0)
    {
        EXPECT_EQ (BuiltInFirmware::getSize(), 0u);
        EXPECT_EQ (BuiltInFirmware::getData(), nullptr);
        return;
    }

    juce::MemoryBlock configured;
    ASSERT_TRUE (juce::File (QUELLON_FIRMWARE_IMAGE_PATH).loadFileAsData (configured));
    ASSERT_GT (BuiltInFirmware::getSize(), 0u);
    ASSERT_EQ (BuiltInFirmware::getSize(), configured.getSize());
    EXPECT_EQ (std::memcmp (BuiltInFirmware::getData(), configured.getData(), configured.getSize()), 0);

    // It loads as a file does: every byte bit-reversed into sending order.
    juce::MemoryInputStream stream (BuiltInFirmware::getData(), BuiltInFirmware::getSize(), false);
    InStreamWrapper in (&stream);
    std::vector<uint8_t> image;
    ASSERT_TRUE (loadFirmwareImage (in, image).ok);
    ASSERT_EQ (image.size(), BuiltInFirmware::getSize());
    auto* bytes = static_cast<const uint8_t*> (BuiltInFirmware::getData());
    uint8_t first = bytes[0];
    reverseBitsInBytes (&first, 1);
    EXPECT_EQ (image[0], first);
}

TEST (BuiltInFirmware, ThePlaceholderSaysWhatItIs)
{
    juce::MemoryBlock placeholder;
    ASSERT_TRUE (juce::File (QUELLON_RESOURCES_DIR "/Firmware/PlaceholderFirmware.ldr").loadFileAsData (placeholder));
    EXPECT_EQ (placeholder.getSize(), 55636u);
    EXPECT_TRUE (placeholder.toString().startsWith ("QUELLON EDITOR BUILT-IN DSP IMAGE: PLACEHOLDER, NOT FIRMWARE."));
}
