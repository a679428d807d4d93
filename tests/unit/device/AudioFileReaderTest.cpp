#include "Protocol/AudioFileReader.h"
#include "support/AudioFiles.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <limits>

using namespace Korvalune;
using namespace AudioFiles;

namespace
{
constexpr int unlimited = std::numeric_limits<int>::max();
const uint32_t acceptedRates[] = { 44100, 48000, 88200, 96000, 176400, 192000 };
const uint32_t acceptedBits[] = { 8, 16, 20, 24, 32 };

AudioFileError readWavBytes (const std::string& bytes, DecodedAudio& audio, int maxFrames = unlimited)
{
    juce::MemoryInputStream in (bytes.data(), bytes.size(), false);
    return readWav (in, audio, maxFrames);
}

AudioFileError readAiffBytes (const std::string& bytes, DecodedAudio& audio, int maxFrames = unlimited)
{
    juce::MemoryInputStream in (bytes.data(), bytes.size(), false);
    return readAiff (in, audio, maxFrames);
}

AudioFileError wavError (const std::string& bytes)
{
    DecodedAudio audio;
    return readWavBytes (bytes, audio);
}

AudioFileError aiffError (const std::string& bytes)
{
    DecodedAudio audio;
    return readAiffBytes (bytes, audio);
}

double scaleFor (int bits)
{
    return std::ldexp (1.0, 1 - (bits == 20 ? 24 : bits));
}

// The extremes and a few values between, for both channels.
std::vector<int64_t> edgeValues (int bits, int channels)
{
    const int64_t top = ((int64_t) 1 << ((bits == 20 ? 24 : bits) - 1)) - 1;
    std::vector<int64_t> values;
    for (int64_t v : { (int64_t) 0, top, -top - 1, (int64_t) 1, (int64_t) -1, top / 3, -top / 7 })
        for (int c = 0; c < channels; ++c)
            values.push_back (c == 0 ? v : -v / 2);
    return values;
}

void expectDecoded (const DecodedAudio& audio, const std::vector<int64_t>& values, int channels, int bits)
{
    const auto frames = (int) values.size() / channels;
    ASSERT_EQ (audio.frames, frames);
    ASSERT_EQ ((int) audio.channel0.size(), frames);
    ASSERT_EQ ((int) audio.channel1.size(), frames);
    EXPECT_EQ (audio.mono, channels == 1);
    for (int f = 0; f < frames; ++f)
    {
        EXPECT_EQ (audio.channel0[(size_t) f], (double) values[(size_t) (f * channels)] * scaleFor (bits));
        EXPECT_EQ (audio.channel1[(size_t) f], (double) values[(size_t) (f * channels + channels - 1)] * scaleFor (bits));
    }
}

std::string stereo16 (int frames)
{
    return integerSamples (impulseValues (frames, 2, 16), 16, false);
}
} // namespace

TEST (WavReader, ReadsEveryAcceptedRateDepthAndChannelCount)
{
    for (auto rate : acceptedRates)
        for (auto bits : acceptedBits)
            for (uint32_t channels : { 1u, 2u })
            {
                SCOPED_TRACE (testing::Message() << rate << " Hz, " << bits << " bits, " << channels << " ch");
                WavFormat format;
                format.channels = channels;
                format.rate = rate;
                format.bits = bits;
                const auto values = edgeValues ((int) bits, (int) channels);

                DecodedAudio audio;
                ASSERT_EQ (readWavBytes (wav (format, integerSamples (values, (int) bits, false)), audio), audioFileRead);
                EXPECT_EQ (audio.sampleRate, rate);
                expectDecoded (audio, values, (int) channels, (int) bits);
            }
}

TEST (WavReader, EightBitSamplesAreUnsignedAroundTheMiddle)
{
    DecodedAudio audio;
    WavFormat format;
    format.bits = 8;
    ASSERT_EQ (readWavBytes (wav (format, std::string ("\x00\x80\xff\x7f", 4)), audio), audioFileRead);
    EXPECT_EQ (audio.channel0, (std::vector<double> { -1.0, 0.0, 127.0 / 128.0, -1.0 / 128.0 }));
}

TEST (WavReader, DecodesFloatsPlainAndExtensibleAndPcmInTheExtensibleForm)
{
    const std::vector<float> values { 0.5f, -0.25f, 1.5f, -1.0f, 1.0e-6f, 0.0f };

    for (int tag : { 3, 65534 })
    {
        WavFormat format;
        format.tag = (uint32_t) tag;
        format.bits = 32;
        format.channels = 2;
        format.rate = 96000;
        format.subFormat = tag == 65534 ? 3 : -1;

        DecodedAudio audio;
        ASSERT_EQ (readWavBytes (wav (format, floatSamples (values)), audio), audioFileRead) << tag;
        EXPECT_EQ (audio.channel0, (std::vector<double> { 0.5, 1.5, 1.0e-6f }));
        EXPECT_EQ (audio.channel1, (std::vector<double> { -0.25, -1.0, 0.0 }));
    }

    WavFormat pcm;
    pcm.tag = 65534;
    pcm.subFormat = 1;
    pcm.bits = 24;
    const auto ints = edgeValues (24, 1);
    DecodedAudio audio;
    ASSERT_EQ (readWavBytes (wav (pcm, integerSamples (ints, 24, false)), audio), audioFileRead);
    expectDecoded (audio, ints, 1, 24);

    // Without its extension the extensible form is read as integer PCM.
    WavFormat bare;
    bare.tag = 65534;
    ASSERT_EQ (readWavBytes (wav (bare, integerSamples ({ 16384 }, 16, false)), audio), audioFileRead);
    EXPECT_EQ (audio.channel0, (std::vector<double> { 0.5 }));
}

TEST (WavReader, WalksOddChunksAndTakesTheLastFormatAndData)
{
    WavFormat format;
    format.channels = 2;
    const auto samples = stereo16 (10);

    // An odd unknown chunk before "fmt ", an odd "LIST" after the data.
    const auto odd = Bytes (false)
                         .chunk ("junk", "abc")
                         .chunk ("fmt ", wavFmtBody (format))
                         .chunk ("data", samples)
                         .chunk ("LIST", "12345")
                         .data;
    DecodedAudio audio;
    ASSERT_EQ (readWavBytes (wavFile (odd), audio), audioFileRead);
    expectDecoded (audio, impulseValues (10, 2, 16), 2, 16);

    // An 18-byte "fmt " (with an empty extension) reads like a 16-byte one.
    const auto fmt18 = Bytes (false).chunk ("fmt ", wavFmtBody (format) + std::string (2, '\0')).chunk ("data", samples).data;
    ASSERT_EQ (readWavBytes (wavFile (fmt18), audio), audioFileRead);
    EXPECT_EQ (audio.frames, 10);

    // A later "fmt " and a later "data" replace the earlier ones.
    WavFormat mono = format;
    mono.channels = 1;
    mono.rate = 44100;
    const auto twice = Bytes (false)
                           .chunk ("fmt ", wavFmtBody (format))
                           .chunk ("data", samples)
                           .chunk ("fmt ", wavFmtBody (mono))
                           .chunk ("data", integerSamples ({ 1, 2, 3 }, 16, false))
                           .data;
    ASSERT_EQ (readWavBytes (wavFile (twice), audio), audioFileRead);
    EXPECT_EQ (audio.sampleRate, 44100u);
    expectDecoded (audio, { 1, 2, 3 }, 1, 16);

    // An odd data chunk of 8-bit samples keeps its pad byte out of the samples.
    WavFormat eight;
    eight.bits = 8;
    const auto padded = Bytes (false).chunk ("fmt ", wavFmtBody (eight)).chunk ("data", "\x90\x70\x80").chunk ("zero", "").data;
    ASSERT_EQ (readWavBytes (wavFile (padded), audio), audioFileRead);
    EXPECT_EQ (audio.frames, 3);
}

TEST (WavReader, RefusesEachWrongFieldWithItsValue)
{
    WavFormat good;
    good.channels = 2;
    const auto samples = stereo16 (8);
    ASSERT_EQ (wavError (wav (good, samples)), audioFileRead);

    auto with = [&] (auto change) {
        auto f = good;
        change (f);
        return wavError (wav (f, samples));
    };

    EXPECT_EQ (with ([] (WavFormat& f) { f.tag = 2; }), audioFormatRefused);
    EXPECT_EQ (with ([] (WavFormat& f) { f.tag = 65534, f.subFormat = 2; }), audioFormatRefused);
    EXPECT_EQ (with ([] (WavFormat& f) { f.channels = 3, f.blockAlign = 6; }), audioChannelsRefused);
    EXPECT_EQ (with ([] (WavFormat& f) { f.channels = 0, f.blockAlign = 4; }), audioChannelsRefused);
    EXPECT_EQ (with ([] (WavFormat& f) { f.rate = 22050; }), audioRateRefused);
    EXPECT_EQ (with ([] (WavFormat& f) { f.bits = 12, f.blockAlign = 4; }), audioBitsRefused);
    EXPECT_EQ (with ([] (WavFormat& f) { f.byteRate = 1000; }), audioFileMalformed);
    EXPECT_EQ (with ([] (WavFormat& f) { f.blockAlign = 0, f.byteRate = 0; }), audioFileMalformed);
    EXPECT_EQ (with ([] (WavFormat& f) { f.blockAlign = 5; }), audioFileMalformed);
    EXPECT_EQ (with ([] (WavFormat& f) { f.blockAlign = 6; }), audioFileMalformed);   // 32 bytes: 5 1/3 frames

    // A frame smaller than its samples would make decoding run past the data.
    EXPECT_EQ (with ([] (WavFormat& f) { f.blockAlign = 2; }), audioFileMalformed);

    // Floats in anything but 32 bits have no meaning.
    for (uint32_t bits : { 8u, 16u, 24u })
    {
        WavFormat f;
        f.tag = 3;
        f.bits = bits;
        EXPECT_EQ (wavError (wav (f, std::string (bytesFor ((int) bits) * 4, '\0'))), audioBitsRefused) << bits;
    }
}

TEST (WavReader, RefusesBrokenLayouts)
{
    WavFormat format;
    const auto samples = integerSamples ({ 1, 2, 3, 4 }, 16, false);
    const auto good = wav (format, samples);

    EXPECT_EQ (wavError (""), audioFileMalformed);
    EXPECT_EQ (wavError ("RIFX" + good.substr (4)), audioFileMalformed);
    EXPECT_EQ (wavError (good.substr (0, 8) + "WAVX" + good.substr (12)), audioFileMalformed);
    EXPECT_EQ (wavError (good.substr (0, 10)), audioFileMalformed);
    EXPECT_EQ (wavError (good.substr (0, good.size() - 1)), audioFileMalformed);   // a sample short

    EXPECT_EQ (wavError (wavFile (Bytes (false).chunk ("data", samples).data)), audioFileMalformed);
    EXPECT_EQ (wavError (wavFile (Bytes (false).chunk ("fmt ", wavFmtBody (format)).data)), audioFileMalformed);
    EXPECT_EQ (wavError (wavFile (Bytes (false).chunk ("fmt ", wavFmtBody (format)).chunk ("data", "").data)),
               audioFileMalformed);
    EXPECT_EQ (wavError (wavFile (Bytes (false).chunk ("fmt ", wavFmtBody (format).substr (0, 14)).chunk ("data", samples).data)),
               audioFileMalformed);

    // A data chunk that claims far more than the file holds fails without
    // allocating what it claims.
    const auto liar = Bytes (false).chunk ("fmt ", wavFmtBody (format)).text ("data").u32 (0xFFFFFFF0u).text (samples).data;
    EXPECT_EQ (wavError (wavFile (liar)), audioFileMalformed);
}

TEST (WavReader, DecodesNoMoreThanAskedButChecksTheWholeFile)
{
    WavFormat format;
    format.channels = 2;
    const auto values = impulseValues (1000, 2, 16);
    DecodedAudio audio;
    ASSERT_EQ (readWavBytes (wav (format, integerSamples (values, 16, false)), audio, 10), audioFileRead);
    expectDecoded (audio, std::vector<int64_t> (values.begin(), values.begin() + 20), 2, 16);

    // Truncated data fails even though the frames asked for are there.
    const auto whole = wav (format, integerSamples (values, 16, false));
    EXPECT_EQ (readWavBytes (whole.substr (0, whole.size() - 4), audio, 10), audioFileMalformed);
}

TEST (WavReader, RefusesFloatsThatAreNoNumbers)
{
    WavFormat format;
    format.tag = 3;
    format.bits = 32;
    for (float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
        EXPECT_EQ (wavError (wav (format, floatSamples ({ 0.5f, bad }))), audioFileMalformed);
}

TEST (WavReader, AFailedReadLeavesTheCallersAudioAlone)
{
    DecodedAudio audio;
    audio.channel0 = { 7.0 };
    audio.frames = 1;
    EXPECT_EQ (readWavBytes ("RIFF", audio), audioFileMalformed);
    EXPECT_EQ (audio.channel0, (std::vector<double> { 7.0 }));
}

TEST (AiffReader, ReadsEveryAcceptedRateDepthAndChannelCount)
{
    for (auto rate : acceptedRates)
        for (auto bits : acceptedBits)
            for (uint32_t channels : { 1u, 2u })
            {
                SCOPED_TRACE (testing::Message() << rate << " Hz, " << bits << " bits, " << channels << " ch");
                const auto values = edgeValues ((int) bits, (int) channels);
                DecodedAudio audio;
                ASSERT_EQ (readAiffBytes (aiff (channels, bits, rate, values), audio), audioFileRead);
                EXPECT_EQ (audio.sampleRate, rate);
                expectDecoded (audio, values, (int) channels, (int) bits);
            }
}

TEST (AiffReader, EightBitSamplesAreSigned)
{
    DecodedAudio audio;
    const auto file = aiffFile (Bytes (true)
                                    .chunk ("COMM", aiffCommBody (1, 4, 8, 48000))
                                    .chunk ("SSND", aiffSsndBody (std::string ("\x00\x80\xff\x7f", 4)))
                                    .data);
    ASSERT_EQ (readAiffBytes (file, audio), audioFileRead);
    EXPECT_EQ (audio.channel0, (std::vector<double> { 0.0, -1.0, -1.0 / 128.0, 127.0 / 128.0 }));
}

TEST (AiffReader, RoundsTheRateAndWalksOddChunks)
{
    const auto samples = integerSamples ({ 100, -100, 5 }, 16, true);
    const auto file = aiffFile (Bytes (true)
                                    .chunk ("NAME", "odd")
                                    .chunk ("COMM", aiffCommBody (1, 3, 16, 96000.4) + "xy")   // a longer COMM
                                    .chunk ("SSND", aiffSsndBody (samples + "\x01"))           // odd, one byte spare
                                    .chunk ("ANNO", "x")
                                    .data);
    DecodedAudio audio;
    ASSERT_EQ (readAiffBytes (file, audio), audioFileRead);
    EXPECT_EQ (audio.sampleRate, 96000u);
    expectDecoded (audio, { 100, -100, 5 }, 1, 16);

    // Frame count zero: a file with no samples, read.
    const auto empty = aiffFile (Bytes (true).chunk ("COMM", aiffCommBody (2, 0, 16, 48000)).chunk ("SSND", aiffSsndBody (std::string (2, '\0'))).data);
    ASSERT_EQ (readAiffBytes (empty, audio), audioFileRead);
    EXPECT_EQ (audio.frames, 0);
    EXPECT_TRUE (audio.channel0.empty());
}

TEST (AiffReader, RefusesEachWrongFieldWithItsValue)
{
    const auto samples = integerSamples ({ 1, 2, 3, 4 }, 16, true);
    auto file = [&] (const std::string& comm, const std::string& ssnd) {
        return aiffFile (Bytes (true).chunk ("COMM", comm).chunk ("SSND", ssnd).data);
    };
    const auto comm = aiffCommBody (2, 2, 16, 44100);
    const auto ssnd = aiffSsndBody (samples);
    ASSERT_EQ (aiffError (file (comm, ssnd)), audioFileRead);

    EXPECT_EQ (aiffError (file (aiffCommBody (3, 1, 16, 44100), ssnd)), audioChannelsRefused);
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 2, 16, 22050), ssnd)), audioRateRefused);
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 2, 16, -44100), ssnd)), audioRateRefused);
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 2, 16, 1.0e300), ssnd)), audioRateRefused);
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 1, 12, 44100), ssnd)), audioBitsRefused);
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 2, 16, 0.0), ssnd)), audioFileMalformed);   // rate not a number
    EXPECT_EQ (aiffError (file (comm.substr (0, 16), ssnd)), audioFileMalformed);
    EXPECT_EQ (aiffError (file (comm, aiffSsndBody (samples, 4))), audioFileMalformed);
    EXPECT_EQ (aiffError (file (comm, aiffSsndBody (samples, 0, 4))), audioFileMalformed);
    EXPECT_EQ (aiffError (file (comm, aiffSsndBody (""))), audioFileMalformed);

    // A frame count beyond the samples would make decoding run past them.
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 3, 16, 44100), ssnd)), audioFileMalformed);
    EXPECT_EQ (aiffError (file (aiffCommBody (2, 0xFFFFFFFFu, 16, 44100), ssnd)), audioFileMalformed);
}

TEST (AiffReader, RefusesBrokenLayouts)
{
    const auto good = aiff (1, 16, 48000, { 1, 2 });
    EXPECT_EQ (aiffError (""), audioFileMalformed);
    EXPECT_EQ (aiffError ("FORN" + good.substr (4)), audioFileMalformed);
    EXPECT_EQ (aiffError (aiffFile (Bytes (true).chunk ("COMM", aiffCommBody (1, 2, 16, 48000)).chunk ("SSND", aiffSsndBody ("abcd")).data, "AIFC")),
               audioFileMalformed);
    EXPECT_EQ (aiffError (aiffFile (Bytes (true).chunk ("SSND", aiffSsndBody ("abcd")).data)), audioFileMalformed);
    EXPECT_EQ (aiffError (aiffFile (Bytes (true).chunk ("COMM", aiffCommBody (1, 2, 16, 48000)).data)), audioFileMalformed);
    EXPECT_EQ (aiffError (good.substr (0, good.size() - 1)), audioFileMalformed);

    // An SSND chunk that claims far more than the file holds.
    const auto liar = Bytes (true).chunk ("COMM", aiffCommBody (1, 2, 16, 48000)).text ("SSND").u32 (0xFFFFFFF0u).u32 (0).u32 (0).text ("abcd").data;
    EXPECT_EQ (aiffError (aiffFile (liar)), audioFileMalformed);

    // A WAV is no AIFF, nor the other way round.
    EXPECT_EQ (aiffError (wav (WavFormat(), "ab")), audioFileMalformed);
    EXPECT_EQ (wavError (good), audioFileMalformed);
}

TEST (ExtendedNumbers, ConvertTheAiffRates)
{
    const uint8_t bytes[10] = { 0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0 };
    double value = 0.0;
    ASSERT_TRUE (extendedToDouble (bytes, value));
    EXPECT_EQ (value, 44100.0);

    // The explicit integer bit is not read: it counts as set either way.
    uint8_t noIntegerBit[10];
    std::memcpy (noIntegerBit, bytes, 10);
    noIntegerBit[2] &= 0x7F;
    ASSERT_TRUE (extendedToDouble (noIntegerBit, value));
    EXPECT_EQ (value, 44100.0);

    for (double rate : { 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 0.5, -3.25, 1.0e300 })
    {
        const auto e = extended (rate);
        ASSERT_TRUE (extendedToDouble (reinterpret_cast<const uint8_t*> (e.data()), value)) << rate;
        EXPECT_EQ (value, rate);
    }
}

TEST (ExtendedNumbers, RefuseExponentsOutsideTheirRange)
{
    auto withExponent = [] (int e) {
        uint8_t bytes[10] = { (uint8_t) (e >> 8), (uint8_t) e, 0x80 };
        double value = 0.0;
        return extendedToDouble (bytes, value);
    };

    EXPECT_FALSE (withExponent (0));
    EXPECT_FALSE (withExponent (0x7FFF));
    EXPECT_FALSE (withExponent (15359));
    EXPECT_TRUE (withExponent (15360));
    EXPECT_TRUE (withExponent (17406));
    EXPECT_FALSE (withExponent (17407));
    EXPECT_TRUE (withExponent (0x8000 | 16383));   // -1.0
}

class AudioFilesOnDisk : public testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("audio-test", "", false);
        ASSERT_TRUE (folder.createDirectory().wasOk());
    }

    void TearDown() override { (void) folder.deleteRecursively(); }

    std::string save (const char* name, const std::string& bytes) const
    {
        const auto file = folder.getChildFile (name);
        EXPECT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));
        return file.getFullPathName().toStdString();
    }

    juce::File folder;
};

TEST_F (AudioFilesOnDisk, ReadAsWavOrFailingThatAsAiff)
{
    DecodedAudio audio;
    const auto wavPath = save ("ir.wav", wav (WavFormat(), integerSamples ({ 8192 }, 16, false)));
    const auto aiffPath = save ("ir.wav.aif", aiff (2, 24, 88200, { 1, 2 }));

    EXPECT_TRUE (readWavFile (wavPath.c_str(), audio, unlimited));
    EXPECT_FALSE (readAiffFile (wavPath.c_str(), audio, unlimited));
    EXPECT_TRUE (readAudioFile (aiffPath.c_str(), audio, unlimited));
    EXPECT_EQ (audio.sampleRate, 88200u);
    EXPECT_FALSE (audio.mono);

    // A WAV refused for its format tag is tried as AIFF, which fails too.
    WavFormat adpcm;
    adpcm.tag = 2;
    EXPECT_FALSE (readAudioFile (save ("adpcm.wav", wav (adpcm, "abcd")).c_str(), audio, unlimited));

    EXPECT_FALSE (readAudioFile (nullptr, audio, unlimited));
    EXPECT_FALSE (readAudioFile ("", audio, unlimited));
    EXPECT_FALSE (readAudioFile (folder.getChildFile ("missing.wav").getFullPathName().toRawUTF8(), audio, unlimited));
    EXPECT_FALSE (readAudioFile (folder.getFullPathName().toRawUTF8(), audio, unlimited));
}

TEST_F (AudioFilesOnDisk, AReadOnlyFileReads)
{
    const auto path = save ("read-only.wav", wav (WavFormat(), integerSamples ({ 8192, -8192 }, 16, false)));
    ASSERT_TRUE (juce::File (path).setReadOnly (true));

    DecodedAudio audio;
    EXPECT_TRUE (readAudioFile (path.c_str(), audio, unlimited));
    EXPECT_EQ (audio.channel0, (std::vector<double> { 0.25, -0.25 }));
}
