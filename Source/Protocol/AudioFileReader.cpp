#include "Protocol/AudioFileReader.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace Korvalune
{

namespace
{
// Raised inside a reader and caught at its boundary; it never leaves it.
struct AudioFileFailure
{
    AudioFileError error;
};

[[noreturn]] void fail (AudioFileError error)
{
    throw AudioFileFailure { error };
}

// Reads the file's numbers in its byte order; any short read or failed seek
// is a malformed file.
class ChunkReader
{
public:
    ChunkReader (juce::InputStream& s, bool big) : stream (s), bigEndian (big) {}

    void bytes (void* into, std::int64_t count)
    {
        auto* at = static_cast<char*> (into);

        while (count > 0)
        {
            const int got = stream.read (at, (int) std::min<std::int64_t> (count, 1 << 30));

            if (got <= 0)
                fail (audioFileMalformed);

            at += got;
            count -= got;
        }
    }

    std::uint32_t u16()
    {
        std::uint8_t b[2];
        bytes (b, 2);
        return bigEndian ? (std::uint32_t) (b[0] << 8 | b[1]) : (std::uint32_t) (b[1] << 8 | b[0]);
    }

    std::uint32_t u32()
    {
        std::uint8_t b[4];
        bytes (b, 4);
        return bigEndian ? juce::ByteOrder::bigEndianInt (b) : juce::ByteOrder::littleEndianInt (b);
    }

    bool id (const char* expected)
    {
        char text[4];
        bytes (text, 4);
        return std::memcmp (text, expected, 4) == 0;
    }

    std::uint32_t chunkId()
    {
        std::uint8_t b[4];
        bytes (b, 4);
        return juce::ByteOrder::bigEndianInt (b);
    }

    void skip (std::int64_t count)
    {
        if (count > 0 && ! stream.setPosition (stream.getPosition() + count))
            fail (audioFileMalformed);
    }

    // Where `size` bytes of sample data start, once they are known to be there.
    std::int64_t sampleData (std::int64_t size)
    {
        const auto start = stream.getPosition();

        if (start < 0 || size > stream.getTotalLength() - start)
            fail (audioFileMalformed);

        return start;
    }

    std::vector<std::uint8_t> readAt (std::int64_t position, std::int64_t count)
    {
        if (! stream.setPosition (position))
            fail (audioFileMalformed);

        std::vector<std::uint8_t> data ((std::size_t) count);
        bytes (data.data(), count);
        return data;
    }

private:
    juce::InputStream& stream;
    const bool bigEndian;
};

constexpr std::uint32_t fourCC (const char (&text)[5])
{
    return (std::uint32_t) text[0] << 24 | (std::uint32_t) text[1] << 16 | (std::uint32_t) text[2] << 8
         | (std::uint32_t) text[3];
}

std::int64_t paddedToEven (std::int64_t size)
{
    return size + (size & 1);
}

bool isAcceptedRate (double rate)
{
    for (double accepted : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
        if (rate == accepted)
            return true;
    return false;
}

int bytesPerSample (std::uint32_t bits)
{
    switch (bits)
    {
        case 8: return 1;
        case 16: return 2;
        case 20:
        case 24: return 3;
        case 32: return 4;
        default: return 0;
    }
}

// Channels, rate and bits, in the order the readers have always checked them.
void checkStreamFormat (std::uint32_t channels, double rate, std::uint32_t bits)
{
    if (channels != 1 && channels != 2)
        fail (audioChannelsRefused);

    if (! isAcceptedRate (rate))
        fail (audioRateRefused);

    if (bytesPerSample (bits) == 0)
        fail (audioBitsRefused);
}

enum class Encoding
{
    wavInteger,
    wavFloat,
    aiffInteger
};

// A sample's bytes as a signed integer of `bytes` bytes, reduced by 2^N above 2^(N-1) - 1.
std::int64_t signedValue (const std::uint8_t* p, int bytes, bool bigEndian)
{
    std::uint64_t value = 0;

    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[bigEndian ? i : bytes - 1 - i];

    const int bits = 8 * bytes;
    const auto top = (std::int64_t) 1 << (bits - 1);
    return (std::int64_t) value >= top ? (std::int64_t) value - 2 * top : (std::int64_t) value;
}

double decodeSample (const std::uint8_t* p, int bytes, Encoding encoding)
{
    if (encoding == Encoding::wavFloat)
    {
        float value;
        const auto bits = juce::ByteOrder::littleEndianInt (p);
        std::memcpy (&value, &bits, 4);

        // Infinities and NaNs are no impulse; they would reach the unit as they are.
        if (! std::isfinite (value))
            fail (audioFileMalformed);

        return value;
    }

    if (encoding == Encoding::wavInteger && bytes == 1)
        return (p[0] - 128) * (1.0 / 128.0);

    // 20-bit samples lie in three bytes and are scaled as 24-bit ones.
    const double scale = 1.0 / (double) ((std::int64_t) 1 << (8 * std::min (bytes, 4) - 1));
    return (double) signedValue (p, bytes, encoding == Encoding::aiffInteger) * scale;
}

void decode (const std::vector<std::uint8_t>& data, int frames, int channels, int bytes, Encoding encoding,
             DecodedAudio& audio)
{
    audio.channel0.assign ((std::size_t) frames, 0.0);
    audio.channel1.assign ((std::size_t) frames, 0.0);
    const auto* p = data.data();

    for (std::size_t f = 0; f < (std::size_t) frames; ++f, p += channels * bytes)
    {
        audio.channel0[f] = decodeSample (p, bytes, encoding);
        audio.channel1[f] = channels == 1 ? audio.channel0[f] : decodeSample (p + bytes, bytes, encoding);
    }

    audio.frames = frames;
}

struct SampleData
{
    std::int64_t position = -1;
    std::int64_t size = 0;
};

// Decodes up to maxFrames of `frames` frames at `data`, whose layout has been checked.
void decodeFrames (ChunkReader& reader, const SampleData& data, std::int64_t frames, std::uint32_t channels,
                   std::uint32_t bits, Encoding encoding, int maxFrames, DecodedAudio& audio)
{
    const int bytes = bytesPerSample (bits);
    const int decoded = (int) std::clamp<std::int64_t> (frames, 0, std::max (maxFrames, 0));
    const auto raw = reader.readAt (data.position, (std::int64_t) decoded * (std::int64_t) channels * bytes);
    decode (raw, decoded, (int) channels, bytes, encoding, audio);
}

struct WavFormat
{
    bool found = false;
    std::uint32_t tag = 0, channels = 0, rate = 0, byteRate = 0, blockAlign = 0, bits = 0;
    bool hasSubFormat = false;
    std::uint32_t subFormat = 0;   // the extensible form's own tag
};

constexpr std::uint32_t wavPcm = 1, wavFloat = 3, wavExtensible = 65534;

WavFormat readWavFormat (ChunkReader& reader, std::int64_t size)
{
    WavFormat format;
    format.found = true;
    format.tag = reader.u16();
    format.channels = reader.u16();
    format.rate = reader.u32();
    format.byteRate = reader.u32();
    format.blockAlign = reader.u16();
    format.bits = reader.u16();

    auto rest = paddedToEven (size) - 16;

    if (rest < 0)
        fail (audioFileMalformed);

    // The extensible form names its real encoding in the first two bytes of
    // its sub-format: extension size, valid bits and channel mask come first.
    if (format.tag == wavExtensible && rest >= 10)
    {
        reader.skip (8);
        format.hasSubFormat = true;
        format.subFormat = reader.u16();
        rest -= 10;
    }

    reader.skip (rest);
    return format;
}

// The encoding the format tag names; an extensible format without its
// sub-format is taken as integer PCM.
Encoding wavEncoding (const WavFormat& format)
{
    auto tag = format.tag;

    if (tag == wavExtensible)
        tag = format.hasSubFormat ? format.subFormat : wavPcm;

    if (tag != wavPcm && tag != wavFloat)
        fail (audioFormatRefused);

    return tag == wavFloat ? Encoding::wavFloat : Encoding::wavInteger;
}

Encoding checkWavFormat (const WavFormat& format, std::int64_t dataSize)
{
    const auto encoding = wavEncoding (format);
    checkStreamFormat (format.channels, format.rate, format.bits);

    // Floats come in 32 bits only.
    if (encoding == Encoding::wavFloat && format.bits != 32)
        fail (audioBitsRefused);

    if ((std::uint64_t) format.byteRate != (std::uint64_t) format.blockAlign * format.rate)
        fail (audioFileMalformed);

    if (format.blockAlign < 1 || format.blockAlign % format.channels != 0)
        fail (audioFileMalformed);

    if (dataSize % format.blockAlign != 0)
        fail (audioFileMalformed);

    // A frame must hold its samples, or decoding would run past the data.
    if (format.blockAlign < format.channels * (std::uint32_t) bytesPerSample (format.bits))
        fail (audioFileMalformed);

    return encoding;
}

// Reads a container's header and hands each chunk's id and size to `onChunk`
// until the container's own size is used up; onChunk reads or skips the
// body and returns the bytes it took, pad included.
template <typename OnChunk>
void walkChunks (ChunkReader& reader, const char* magic, const char* formType, OnChunk onChunk)
{
    if (! reader.id (magic))
        fail (audioFileMalformed);

    std::int64_t remaining = (std::int64_t) reader.u32() - 4;

    if (! reader.id (formType))
        fail (audioFileMalformed);

    while (remaining >= 1)
    {
        const auto id = reader.chunkId();
        const std::int64_t size = reader.u32();
        remaining -= 8 + onChunk (id, size);
    }
}

std::int64_t skipChunk (ChunkReader& reader, std::int64_t size)
{
    reader.skip (paddedToEven (size));
    return paddedToEven (size);
}

void parseWav (ChunkReader& reader, DecodedAudio& audio, int maxFrames)
{
    WavFormat format;
    SampleData data;

    walkChunks (reader, "RIFF", "WAVE", [&] (std::uint32_t id, std::int64_t size) {
        if (id == fourCC ("fmt "))
        {
            format = readWavFormat (reader, size);
            return paddedToEven (size);
        }

        if (id == fourCC ("data"))
        {
            if (size < 1)
                fail (audioFileMalformed);

            data = { reader.sampleData (size), size };
        }

        return skipChunk (reader, size);
    });

    if (! format.found || data.position < 0)
        fail (audioFileMalformed);

    const auto encoding = checkWavFormat (format, data.size);

    audio.sampleRate = format.rate;
    audio.mono = format.channels == 1;
    decodeFrames (reader, data, data.size / format.blockAlign, format.channels, format.bits, encoding, maxFrames,
                  audio);
}

struct AiffFormat
{
    bool found = false;
    std::uint32_t channels = 0, frames = 0, bits = 0;
    double rate = 0.0;   // rounded to whole hertz
};

AiffFormat readAiffCommon (ChunkReader& reader, std::int64_t size)
{
    AiffFormat format;
    format.found = true;
    format.channels = reader.u16();
    format.frames = reader.u32();
    format.bits = reader.u16();

    std::uint8_t extended[10];
    reader.bytes (extended, 10);
    double rate = 0.0;

    if (! extendedToDouble (extended, rate))
        fail (audioFileMalformed);

    format.rate = std::floor (rate + 0.5);

    const auto rest = paddedToEven (size) - 18;

    if (rest < 0)
        fail (audioFileMalformed);

    reader.skip (rest);
    return format;
}

void parseAiff (ChunkReader& reader, DecodedAudio& audio, int maxFrames)
{
    AiffFormat format;
    SampleData data;

    walkChunks (reader, "FORM", "AIFF", [&] (std::uint32_t id, std::int64_t size) -> std::int64_t {
        if (id == fourCC ("COMM"))
        {
            format = readAiffCommon (reader, size);
            return paddedToEven (size);
        }

        if (id == fourCC ("SSND"))
        {
            if (reader.u32() != 0 || reader.u32() != 0)   // offset, block size
                fail (audioFileMalformed);

            if (size - 8 < 1)
                fail (audioFileMalformed);

            data = { reader.sampleData (size - 8), size - 8 };
            return 8 + skipChunk (reader, size - 8);
        }

        return skipChunk (reader, size);
    });

    if (! format.found || data.position < 0)
        fail (audioFileMalformed);

    checkStreamFormat (format.channels, format.rate, format.bits);

    // The frame count comes from COMM; the samples must all lie in SSND.
    const auto frameBytes = (std::int64_t) format.channels * bytesPerSample (format.bits);

    if ((std::int64_t) format.frames * frameBytes > data.size)
        fail (audioFileMalformed);

    audio.sampleRate = (std::uint32_t) format.rate;
    audio.mono = format.channels == 1;
    decodeFrames (reader, data, format.frames, format.channels, format.bits, Encoding::aiffInteger, maxFrames, audio);
}

template <typename Parse>
AudioFileError readWith (juce::InputStream& in, DecodedAudio& audio, int maxFrames, bool bigEndian, Parse parse)
{
    ChunkReader reader (in, bigEndian);
    DecodedAudio result;

    try
    {
        if (! in.setPosition (0))
            fail (audioFileMalformed);

        parse (reader, result, maxFrames);
    }
    catch (const AudioFileFailure& failure)
    {
        return failure.error;
    }
    catch (const std::bad_alloc&)
    {
        return audioFileMalformed;
    }

    audio = std::move (result);
    return audioFileRead;
}

template <typename Read>
bool readFile (const char* path, DecodedAudio& audio, int maxFrames, Read read)
{
    if (path == nullptr || *path == 0)
        return false;

    const juce::File file (juce::String::fromUTF8 (path));

    if (! file.existsAsFile())
        return false;

    juce::FileInputStream in (file);
    return in.openedOk() && read (in, audio, maxFrames) == audioFileRead;
}
} // namespace

AudioFileError readWav (juce::InputStream& in, DecodedAudio& audio, int maxFrames)
{
    return readWith (in, audio, maxFrames, false, parseWav);
}

AudioFileError readAiff (juce::InputStream& in, DecodedAudio& audio, int maxFrames)
{
    return readWith (in, audio, maxFrames, true, parseAiff);
}

bool readWavFile (const char* path, DecodedAudio& audio, int maxFrames)
{
    return readFile (path, audio, maxFrames, readWav);
}

bool readAiffFile (const char* path, DecodedAudio& audio, int maxFrames)
{
    return readFile (path, audio, maxFrames, readAiff);
}

bool readAudioFile (const char* path, DecodedAudio& audio, int maxFrames)
{
    return readWavFile (path, audio, maxFrames) || readAiffFile (path, audio, maxFrames);
}

bool extendedToDouble (const std::uint8_t* bytes, double& value)
{
    const int exponent = (bytes[0] & 0x7F) << 8 | bytes[1];

    if (exponent == 0 || exponent == 0x7FFF || exponent - 0x3C00 < 0 || exponent - 0x3C00 > 2046)
        return false;

    // The explicit integer bit (the top bit of byte 2) is taken as 1, unread.
    double mantissa = 1.0;

    for (int k = 62; k >= 0; --k)
        if ((bytes[9 - k / 8] >> (k % 8)) & 1)
            mantissa += std::ldexp (1.0, k - 63);

    if ((bytes[0] & 0x80) != 0)
        mantissa = -mantissa;

    value = std::ldexp (mantissa, exponent - 16383);
    return true;
}

} // namespace Korvalune
