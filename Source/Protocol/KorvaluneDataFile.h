#pragma once

#include "Application/IInputStream.h"
#include "Application/IOutputStream.h"
#include "Protocol/KorvaluneData.h"

#include <cstdint>
#include <vector>

namespace Korvalune
{

enum FileType : std::uint32_t
{
    PresetFile = 0,
    UserCabinetFile = 1,
    GlobalsFile = 2,
    AmpModelFile = 3
};

// Neither a data file's segments together nor a stream read whole into memory
// may exceed this: real files are a few tens of kilobytes.
inline constexpr std::size_t maxDataFileBytes = 16u * 1024u * 1024u;

// The unit's text data file: a typed header, then byte segments written as
// hexadecimal 32-bit words, each closed by a 16-bit checksum line. Cabinet
// (".cab") and globals (".glo") files are built on it.
class KorvaluneDataFile
{
public:
    using Segment = std::vector<std::uint8_t>;

    KorvaluneDataFile() = default;
    KorvaluneDataFile (std::uint32_t type, std::uint32_t index, std::vector<Segment> segments);

    Result write (IOutputStream& out) const;
    Result read (IInputStream& in);

    std::uint32_t type = 0;
    std::uint32_t index = 0;
    std::vector<Segment> segments;

private:
    Result readHeader (IInputStream& in, std::string& line);
    Result readSegment (IInputStream& in, std::size_t& totalBytes);
    Result writeSegment (IOutputStream& out, std::size_t number, const Segment& segment) const;
};

Result writeCabinetFile (const KorvaluneData::UserCabinetData& cabinet, IOutputStream& out, std::uint32_t index);
// Leaves cabinet.slot alone; the file's index goes to *index when given.
Result readCabinetFile (IInputStream& in, KorvaluneData::UserCabinetData& cabinet, std::uint32_t* index = nullptr);

Result writeGlobalsFile (const KorvaluneData::ParamMap& params, IOutputStream& out);
Result readGlobalsFile (IInputStream& in, KorvaluneData::ParamMap& params);

// Reads to the end of the stream, refusing more than maxDataFileBytes.
Result readStreamFully (IInputStream& in, std::vector<std::uint8_t>& bytes);

// Reverses the bit order of every byte: 0x01 becomes 0x80.
void reverseBitsInBytes (std::uint8_t* bytes, std::size_t length);

// A ".ldr" image, returned in sending order (each byte bit-reversed).
Result loadFirmwareImage (IInputStream& in, std::vector<std::uint8_t>& image);
// Writes an image held in sending order back out in file order.
Result writeFirmwareEntry (const std::vector<std::uint8_t>& image, IOutputStream& out);

Result writeArchiveInfo (const KorvaluneData::DeviceVersionInfo& info, IOutputStream& out);
Result readArchiveInfo (IInputStream& in, KorvaluneData::DeviceVersionInfo& info);

} // namespace Korvalune
