#pragma once

#include <cstdint>
#include <vector>

namespace juce { class InputStream; }

namespace Korvalune
{

// Impulse-response files as the readers hand them back: each channel as
// doubles, nominally in [-1, 1); a mono file gives the same samples twice.
struct DecodedAudio
{
    std::vector<double> channel0;
    std::vector<double> channel1;
    int frames = 0;                 // decoded, the length of each channel
    std::uint32_t sampleRate = 0;   // Hz
    bool mono = false;
};

// Why a reader refused a file. The values are those the readers have always
// raised internally; 0 is a file read.
enum AudioFileError : int
{
    audioFileRead = 0,
    audioFileNotOpened = 1,
    audioFileMalformed = 3,   // short, inconsistent, or not the layout it claims
    audioFormatRefused = 4,
    audioChannelsRefused = 5,
    audioRateRefused = 6,
    audioBitsRefused = 7
};

// Both readers accept 1 or 2 channels, the rates 44100, 48000, 88200, 96000,
// 176400 and 192000 Hz and 8, 16, 20, 24 or 32 bits; WAV also accepts
// integer PCM, IEEE float (32 bits) and the extensible form of either.
//
// A reader decodes at most `maxFrames` frames from the start of the file
// (fewer when the file is shorter), though it checks the whole file's layout.
// It never reads past the sample data the file holds, nor allocates more than
// that data needs. The stream must be seekable; reading starts at its start.
AudioFileError readWav (juce::InputStream& in, DecodedAudio& audio, int maxFrames);
AudioFileError readAiff (juce::InputStream& in, DecodedAudio& audio, int maxFrames);

// The same for a file named by a UTF-8 path, opened for reading only.
bool readWavFile (const char* path, DecodedAudio& audio, int maxFrames);
bool readAiffFile (const char* path, DecodedAudio& audio, int maxFrames);

// A WAV file or, failing that, an AIFF file.
bool readAudioFile (const char* path, DecodedAudio& audio, int maxFrames);

// An 80-bit IEEE 754 extended number, as AIFF stores its sample rate, from its
// 10 big-endian bytes. Refuses zeros, infinities, NaNs and exponents outside
// 15360 to 17406 (a magnitude of about 2^-1023 to 2^1023).
bool extendedToDouble (const std::uint8_t* bytes, double& value);

} // namespace Korvalune
