#pragma once

#include "Protocol/Result.h"

#include <cstdint>

namespace Korvalune
{

// Turns an impulse-response file (WAV, or failing that AIFF) into the sample
// words of a user cabinet: each channel brought to 48000 Hz and cut to its
// first 1024 samples, stored as single-precision floats, the first channel in
// the first half and the second (or the only one again) in the second half.
// Nothing else is done to the samples: no window, fade or normalisation.
//
// Keeps no state; each call builds and frees its own buffers.
class UserCabinetImporter
{
public:
    // Frames decoded from a file at the most: far more than the resampler
    // takes to make 1024 samples at any accepted rate, so the result is that
    // of the whole file while a long file costs no more than a short one.
    static constexpr int maxDecodedFrames = 65536;

    // Fills the record's 2048 sample words from the file at `path` (UTF-8).
    // Fails with "Error loading impulse file", leaving a unit impulse in each
    // half, when the file cannot be read or holds no frames.
    static Result importFile (const char* path, std::uint32_t* samples);

    // The same into two halves of 1024 words each; true when the file was read.
    static bool import (const char* path, std::uint32_t* first, std::uint32_t* second);

private:
    UserCabinetImporter() = delete;
};

} // namespace Korvalune
