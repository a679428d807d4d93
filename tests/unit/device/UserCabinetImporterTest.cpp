#include "Protocol/AudioFileReader.h"
#include "Protocol/KorvaluneData.h"
#include "Protocol/Resampler.h"
#include "Protocol/UserCabinetImporter.h"
#include "support/AudioFiles.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <limits>

using namespace Korvalune;
using namespace AudioFiles;

namespace
{
using Words = std::array<uint32_t, KorvaluneData::cabinetDataWords>;

float wordValue (uint32_t word)
{
    float value;
    std::memcpy (&value, &word, 4);
    return value;
}

uint32_t floatWord (double value)
{
    const auto f = (float) value;
    uint32_t word;
    std::memcpy (&word, &f, 4);
    return word;
}

// What the import must make of one channel: its first 1024 samples at 48000 Hz.
std::vector<uint32_t> expectedHalf (const std::vector<double>& channel, uint32_t rate)
{
    std::vector<double> out (1024, 0.0);
    int count = std::min ((int) channel.size(), 1024);

    if (rate == 48000)
        std::copy (channel.begin(), channel.begin() + count, out.begin());
    else
    {
        Resampler resampler (4096.0, 1.0 / 12.0, 12.0);
        int used = 0;
        count = resampler.process (48000.0 / rate, channel.data(), (int) channel.size(), &used, out.data());
    }

    std::vector<uint32_t> words;
    for (int i = 0; i < 1024; ++i)
        words.push_back (floatWord (i < count ? out[(size_t) i] : 0.0));
    return words;
}

std::vector<uint32_t> half (const Words& words, int which)
{
    return { words.begin() + which * 1024, words.begin() + (which + 1) * 1024 };
}

std::string wav16 (uint32_t rate, int channels, int frames)
{
    WavFormat format;
    format.rate = rate;
    format.channels = (uint32_t) channels;
    return wav (format, integerSamples (impulseValues (frames, channels, 16), 16, false));
}
} // namespace

class CabinetImport : public testing::Test
{
protected:
    void SetUp() override
    {
        LogCapture::instance().clear();
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("import-test", "", false);
        ASSERT_TRUE (folder.createDirectory().wasOk());
        words.fill (0x12345678);
    }

    void TearDown() override { (void) folder.deleteRecursively(); }

    std::string save (const char* name, const std::string& bytes) const
    {
        const auto file = folder.getChildFile (name);
        EXPECT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));
        return file.getFullPathName().toStdString();
    }

    // The channels of the file as the readers see them, decoded in full.
    DecodedAudio decodedInFull (const std::string& path) const
    {
        DecodedAudio audio;
        EXPECT_TRUE (readAudioFile (path.c_str(), audio, std::numeric_limits<int>::max()));
        return audio;
    }

    void expectUnitImpulses() const
    {
        for (size_t i = 0; i < words.size(); ++i)
            ASSERT_EQ (words[i], i % 1024 == 0 ? KorvaluneData::unitImpulseBits : 0u) << i;
    }

    juce::File folder;
    Words words;
};

TEST_F (CabinetImport, At48kHzTheFirst1024SamplesGoInAsTheyAre)
{
    const auto mono = save ("mono.wav", wav16 (48000, 1, 2000));
    ASSERT_TRUE (UserCabinetImporter::importFile (mono.c_str(), words.data()).ok);
    const auto audio = decodedInFull (mono);
    EXPECT_EQ (half (words, 0), expectedHalf (audio.channel0, 48000));
    EXPECT_EQ (half (words, 1), half (words, 0));
    EXPECT_EQ (wordValue (words[5]), (float) audio.channel0[5]);

    const auto stereo = save ("stereo.wav", wav16 (48000, 2, 500));
    ASSERT_TRUE (UserCabinetImporter::importFile (stereo.c_str(), words.data()).ok);
    const auto both = decodedInFull (stereo);
    for (int i = 0; i < 1024; ++i)
    {
        EXPECT_EQ (words[(size_t) i], floatWord (i < 500 ? both.channel0[(size_t) i] : 0.0)) << i;
        EXPECT_EQ (words[(size_t) i + 1024], floatWord (i < 500 ? both.channel1[(size_t) i] : 0.0)) << i;
    }
    EXPECT_NE (half (words, 0), half (words, 1));
}

TEST_F (CabinetImport, OtherRatesAreResampledTo48kHz)
{
    struct Case
    {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        { "44k.wav", wav16 (44100, 2, 1000) },
        { "96k.aif", aiff (2, 24, 96000, impulseValues (3000, 2, 24)) },
        { "192k.wav", wav16 (192000, 1, 5000) },
        { "88k.aif", aiff (1, 8, 88200, impulseValues (100, 1, 8)) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto path = save (c.name, c.bytes);
        ASSERT_TRUE (UserCabinetImporter::importFile (path.c_str(), words.data()).ok);
        const auto audio = decodedInFull (path);
        EXPECT_EQ (half (words, 0), expectedHalf (audio.channel0, audio.sampleRate));
        EXPECT_EQ (half (words, 1), expectedHalf (audio.channel1, audio.sampleRate));
    }

    // 1000 frames at 44100 Hz make about 1089 samples: the half is full.
    save ("44k-again.wav", wav16 (44100, 2, 1000));
    ASSERT_TRUE (UserCabinetImporter::importFile (folder.getChildFile ("44k-again.wav").getFullPathName().toRawUTF8(),
                                                  words.data())
                     .ok);
    EXPECT_NE (words[1023], 0u);

    // 100 frames at 88200 Hz make 55 samples; the rest stays silent.
    const auto short88 = folder.getChildFile ("88k.aif").getFullPathName().toStdString();
    ASSERT_TRUE (UserCabinetImporter::importFile (short88.c_str(), words.data()).ok);
    EXPECT_NE (words[54], 0u);
    for (size_t i = 55; i < 1024; ++i)
        ASSERT_EQ (words[i], 0u) << i;
}

TEST_F (CabinetImport, ALongFileGivesWhatItsWholeSignalGives)
{
    // A signal that never dies away, so every sample the filter reaches counts.
    std::vector<int64_t> values;
    for (int64_t i = 0; i < 2 * 200000; ++i)
        values.push_back ((int64_t) (20000.0 * std::sin ((double) i * 0.37)) + i * 7919 % 2001 - 1000);

    for (uint32_t rate : { 44100u, 176400u, 192000u })
    {
        SCOPED_TRACE (rate);
        WavFormat format;
        format.rate = rate;
        format.channels = 2;
        const auto path = save ("long.wav", wav (format, integerSamples (values, 16, false)));
        ASSERT_TRUE (UserCabinetImporter::importFile (path.c_str(), words.data()).ok);
        const auto audio = decodedInFull (path);
        ASSERT_EQ (audio.frames, 200000);
        EXPECT_EQ (half (words, 0), expectedHalf (audio.channel0, rate));
        EXPECT_EQ (half (words, 1), expectedHalf (audio.channel1, rate));
    }
}

TEST_F (CabinetImport, ARefusedFileFailsAndLeavesAUnitImpulseInEachHalf)
{
    WavFormat threeChannels;
    threeChannels.channels = 3;
    WavFormat twelveBits;
    twelveBits.bits = 12;

    const std::string refused[] = {
        save ("22k.wav", wav16 (22050, 1, 100)),
        save ("3ch.wav", wav (threeChannels, std::string (60, '\0'))),
        save ("12bit.wav", wav (twelveBits, std::string (20, '\0'))),
        save ("text.wav", "RIFF but not really"),
        // No frames, whatever sound lies behind: no impulse to take.
        save ("empty.aif", aiffFile (Bytes (true)
                                         .chunk ("COMM", aiffCommBody (1, 0, 16, 48000))
                                         .chunk ("SSND", aiffSsndBody (std::string (4096, '\x40')))
                                         .data)),
        save ("empty.wav", wav (WavFormat(), "")),
        folder.getChildFile ("missing.wav").getFullPathName().toStdString(),
    };

    for (const auto& path : refused)
    {
        SCOPED_TRACE (path);
        words.fill (0x12345678);
        LogCapture::instance().clear();
        const auto r = UserCabinetImporter::importFile (path.c_str(), words.data());
        ASSERT_FALSE (r.ok);
        EXPECT_STREQ (r.message, "Error loading impulse file");
        EXPECT_TRUE (LogCapture::instance().contains ("UserCabinetImporter.cpp"));
        expectUnitImpulses();
    }

    words.fill (7);
    EXPECT_FALSE (UserCabinetImporter::import (nullptr, words.data(), words.data() + 1024));
    expectUnitImpulses();
}
