#include "Protocol/UserCabinetImporter.h"

#include "Protocol/AudioFileReader.h"
#include "Protocol/KorvaluneData.h"
#include "Protocol/Resampler.h"

#include <algorithm>
#include <cstring>

namespace Korvalune
{

namespace
{
constexpr int halfWords = (int) KorvaluneData::cabinetWords;
constexpr double cabinetRate = 48000.0;

std::uint32_t floatBits (double sample)
{
    const auto value = (float) sample;
    std::uint32_t bits;
    std::memcpy (&bits, &value, sizeof (bits));
    return bits;
}

void fillHalf (std::uint32_t* half, const double* samples, int count)
{
    for (int i = 0; i < halfWords; ++i)
        half[i] = floatBits (i < count ? samples[i] : 0.0);
}

// Brings both channels to 48000 Hz; returns the samples per channel (at most 1024).
int resample (const DecodedAudio& audio, double* left, double* right)
{
    Resampler resampler (4096.0, 1.0 / 12.0, 12.0);
    const double factor = cabinetRate / audio.sampleRate;

    int used = 0;
    resampler.reset();
    (void) resampler.process (factor, audio.channel0.data(), audio.frames, &used, left);

    used = 0;
    resampler.reset();
    return std::max (0, resampler.process (factor, audio.channel1.data(), audio.frames, &used, right));
}
} // namespace

Result UserCabinetImporter::importFile (const char* path, std::uint32_t* samples)
{
    if (! import (path, samples, samples + halfWords))
        return KORVALUNE_ERROR ("Error loading impulse file");

    return okResult;
}

bool UserCabinetImporter::import (const char* path, std::uint32_t* first, std::uint32_t* second)
{
    DecodedAudio audio;

    // A file without frames reads, but it holds no impulse: taken, it would
    // silence the cabinet.
    if (! readAudioFile (path, audio, maxDecodedFrames) || audio.frames == 0)
    {
        fillHalf (first, nullptr, 0);
        fillHalf (second, nullptr, 0);
        first[0] = second[0] = KorvaluneData::unitImpulseBits;
        return false;
    }

    if (audio.sampleRate == cabinetRate)
    {
        const int count = std::min (audio.frames, halfWords);
        fillHalf (first, audio.channel0.data(), count);
        fillHalf (second, audio.channel1.data(), count);
        return true;
    }

    double left[halfWords], right[halfWords];
    const int count = resample (audio, left, right);
    fillHalf (first, left, count);
    fillHalf (second, right, count);
    return true;
}

} // namespace Korvalune
