#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Builds WAV and AIFF files byte by byte, so tests, seeds and benchmarks can
// make every layout the readers meet, odd and broken ones included.
namespace AudioFiles
{

// Bytes in one byte order: little-endian for WAV, big-endian for AIFF.
class Bytes
{
public:
    explicit Bytes (bool bigEndian) : big (bigEndian) {}

    Bytes& text (const std::string& s)
    {
        data += s;
        return *this;
    }

    Bytes& number (uint64_t value, int size)
    {
        for (int i = 0; i < size; ++i)
        {
            const int shift = 8 * (big ? size - 1 - i : i);
            data.push_back ((char) ((value >> shift) & 0xFF));
        }
        return *this;
    }

    Bytes& u16 (uint32_t value) { return number (value, 2); }
    Bytes& u32 (uint32_t value) { return number (value, 4); }

    // A chunk: its id, its size (the body's unless given) and the body padded to even.
    Bytes& chunk (const std::string& id, const std::string& body, int64_t size = -1)
    {
        text (id).u32 ((uint32_t) (size < 0 ? (int64_t) body.size() : size)).text (body);
        if (body.size() % 2 != 0)
            data.push_back ('\0');
        return *this;
    }

    std::string data;

private:
    bool big;
};

inline int bytesFor (int bits)
{
    return bits == 20 ? 3 : bits / 8;
}

// Integer samples, interleaved, as `bits`-bit values in the file's order; for
// WAV the 8-bit ones are stored offset by 128, as unsigned bytes.
inline std::string integerSamples (const std::vector<int64_t>& values, int bits, bool bigEndian)
{
    Bytes out (bigEndian);
    const int size = bytesFor (bits);
    for (auto v : values)
        out.number ((uint64_t) (size == 1 && ! bigEndian ? v + 128 : v), size);
    return out.data;
}

inline std::string floatSamples (const std::vector<float>& values)
{
    Bytes out (false);
    for (float v : values)
    {
        uint32_t bits;
        std::memcpy (&bits, &v, 4);
        out.u32 (bits);
    }
    return out.data;
}

struct WavFormat
{
    uint32_t tag = 1;
    uint32_t channels = 1;
    uint32_t rate = 48000;
    uint32_t bits = 16;
    int64_t blockAlign = -1;   // channels x bytes per sample unless given
    int64_t byteRate = -1;     // block align x rate unless given
    int subFormat = -1;        // for tag 65534: the sub-format's tag

    uint32_t align() const { return (uint32_t) (blockAlign >= 0 ? blockAlign : channels * bytesFor ((int) bits)); }
};

inline std::string wavFmtBody (const WavFormat& f)
{
    Bytes body (false);
    body.u16 (f.tag).u16 (f.channels).u32 (f.rate);
    body.u32 ((uint32_t) (f.byteRate >= 0 ? f.byteRate : (int64_t) f.align() * f.rate));
    body.u16 (f.align()).u16 (f.bits);

    if (f.subFormat >= 0)
    {
        body.u16 (22).u16 (f.bits).u32 (f.channels == 1 ? 4 : 3);
        body.u16 ((uint32_t) f.subFormat).text (std::string ("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14));
    }
    return body.data;
}

// "RIFF", its size, "WAVE", then the chunks as given.
inline std::string wavFile (const std::string& chunks)
{
    return Bytes (false).text ("RIFF").u32 ((uint32_t) (chunks.size() + 4)).text ("WAVE").text (chunks).data;
}

inline std::string wav (const WavFormat& f, const std::string& samples)
{
    return wavFile (Bytes (false).chunk ("fmt ", wavFmtBody (f)).chunk ("data", samples).data);
}

// A sample rate as an 80-bit extended number, exactly as AIFF stores it.
inline std::string extended (double value)
{
    Bytes out (true);
    if (value == 0.0)
        return std::string (10, '\0');

    int exponent = 0;
    const double mantissa = std::frexp (std::fabs (value), &exponent);   // [0.5, 1)
    const auto sign = value < 0 ? 0x8000u : 0u;
    out.u16 (sign | (uint32_t) (exponent - 1 + 16383));
    out.number ((uint64_t) std::ldexp (mantissa, 64), 8);
    return out.data;
}

inline std::string aiffCommBody (uint32_t channels, uint32_t frames, uint32_t bits, double rate)
{
    return Bytes (true).u16 (channels).u32 (frames).u16 (bits).text (extended (rate)).data;
}

inline std::string aiffSsndBody (const std::string& samples, uint32_t offset = 0, uint32_t blockSize = 0)
{
    return Bytes (true).u32 (offset).u32 (blockSize).text (samples).data;
}

// "FORM", its size, the form type, then the chunks as given.
inline std::string aiffFile (const std::string& chunks, const std::string& formType = "AIFF")
{
    return Bytes (true).text ("FORM").u32 ((uint32_t) (chunks.size() + 4)).text (formType).text (chunks).data;
}

inline std::string aiff (uint32_t channels, uint32_t bits, double rate, const std::vector<int64_t>& values)
{
    const auto frames = (uint32_t) (values.size() / channels);
    return aiffFile (Bytes (true)
                         .chunk ("COMM", aiffCommBody (channels, frames, bits, rate))
                         .chunk ("SSND", aiffSsndBody (integerSamples (values, bits, true)))
                         .data);
}

// A test signal of `frames` frames: a decaying tone per channel, in `bits`-bit values.
inline std::vector<int64_t> impulseValues (int frames, int channels, int bits)
{
    const double full = std::ldexp (1.0, (bits == 20 ? 24 : bits) - 1) - 1.0;
    std::vector<int64_t> values;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            values.push_back ((int64_t) std::lround (full * std::exp (-f / 300.0) * std::cos (f * (0.05 + 0.03 * c))));
    return values;
}

} // namespace AudioFiles
