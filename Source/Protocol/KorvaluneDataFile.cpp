#include "Protocol/KorvaluneDataFile.h"

#include "Application/IOUtils.h"
#include "Protocol/LineScanner.h"
#include "Protocol/TransferChecksum.h"

#include <algorithm>
#include <cstring>

namespace Korvalune
{

using namespace KorvaluneData;

namespace
{
struct FileTypeInfo
{
    const char* name;
    bool hasIndex;
};

constexpr FileTypeInfo fileTypes[] = {
    { "Preset data", true },
    { "User Cabinet data", true },
    { "Globals data", false },
    { "Amp_Model data", true },
};

constexpr std::uint32_t numFileTypes = sizeof (fileTypes) / sizeof (fileTypes[0]);

bool findFileType (const std::string& name, std::uint32_t& type)
{
    for (std::uint32_t t = 0; t < numFileTypes; ++t)
    {
        if (name == fileTypes[t].name)
        {
            type = t;
            return true;
        }
    }

    return false;
}

bool scans (const std::string& line, const char* pattern)
{
    return LineScanner (line, pattern).converted() > 0;
}

void appendWord (KorvaluneDataFile::Segment& segment, std::uint32_t word)
{
    const auto at = segment.size();
    segment.resize (at + 4);
    writeWord (word, segment.data() + at);
}
} // namespace

KorvaluneDataFile::KorvaluneDataFile (std::uint32_t t, std::uint32_t i, std::vector<Segment> s)
    : type (t), index (i), segments (std::move (s))
{
}

Result KorvaluneDataFile::write (IOutputStream& out) const
{
    if (type >= numFileTypes)
        return KORVALUNE_ERROR ("Invalid file type %u", (unsigned) type);

    const auto& info = fileTypes[type];
    const auto header = info.hasIndex ? writeLine (out, "# File Type: %s, Index = %d\n", info.name, (int) index)
                                      : writeLine (out, "# File Type: %s\n", info.name);
    if (! header.ok)
        return header;

    for (std::size_t i = 0; i < segments.size(); ++i)
        if (auto r = writeSegment (out, i, segments[i]); ! r.ok)
            return r;

    return okResult;
}

Result KorvaluneDataFile::writeSegment (IOutputStream& out, std::size_t number, const Segment& segment) const
{
    const int n = (int) number;

    if (auto r = writeLine (out, "\n\nData Segment %d: %d bytes excluding CRC\n\n# Data Segment %d Start - Do Not Delete",
                            n, (int) segment.size(), n);
        ! r.ok)
        return r;

    for (std::size_t at = 0; at + 4 <= segment.size(); at += 4)
        if (auto r = writeLine (out, "0x%08x", (unsigned) readWord (segment.data() + at)); ! r.ok)
            return r;

    std::uint16_t checksum = 0;
    updateChecksum (checksum, segment.data(), (std::uint32_t) segment.size());

    return writeLine (out, "# Data Segment %d End - Do Not Delete\n\nCRC = 0x%04x\n", n, (unsigned) checksum);
}

Result KorvaluneDataFile::read (IInputStream& in)
{
    segments.clear();

    std::string line;

    if (auto r = readHeader (in, line); ! r.ok)
        return r;

    std::size_t totalBytes = 0;

    for (;;)
    {
        if (in.isExhausted())
            return okResult;

        if (auto r = readLine (in, line); ! r.ok)
            return r;

        if (LineScanner::isBlank (line) || ! scans (line, " # Data Segment %d Start"))
            continue;

        if (auto r = readSegment (in, totalBytes); ! r.ok)
            return r;
    }
}

Result KorvaluneDataFile::readHeader (IInputStream& in, std::string& line)
{
    if (auto r = readLine (in, line); ! r.ok)
        return r;

    for (;;)
    {
        if (in.isExhausted())
            return KORVALUNE_ERROR ("Reached end of file looking for type");

        LineScanner header (line, " # File Type : %[^,], Index = %d");

        if (header.converted() > 0)
        {
            if (header.textTooLong())
                return KORVALUNE_ERROR ("File type string too long");

            if (! findFileType (header.text(), type))
                return KORVALUNE_ERROR ("Invalid file type string");

            if (! fileTypes[type].hasIndex)
                index = 0;
            else if (header.converted() < 2)
                return KORVALUNE_ERROR ("Missing index");
            else
                index = header.number (0);

            return okResult;
        }

        if (auto r = readLine (in, line); ! r.ok)
            return r;
    }
}

Result KorvaluneDataFile::readSegment (IInputStream& in, std::size_t& totalBytes)
{
    Segment segment;
    std::string line;

    for (;;)
    {
        if (auto r = readLine (in, line); ! r.ok)
            return r;

        if (in.isExhausted())
            return KORVALUNE_ERROR ("Reached end of file inside segment");

        if (LineScanner::isBlank (line))
            continue;

        if (scans (line, " # Data Segment %d End"))
        {
            segments.push_back (std::move (segment));
            return okResult;
        }

        LineScanner word (line, " 0x%x");

        if (word.converted() == 0)
            continue;

        if (totalBytes + 4 > maxDataFileBytes)
            return KORVALUNE_ERROR ("Data file too large");

        appendWord (segment, word.number (0));
        totalBytes += 4;
    }
}

Result writeCabinetFile (const UserCabinetData& cabinet, IOutputStream& out, std::uint32_t index)
{
    KorvaluneDataFile::Segment data (cabinetDataSize), name (nameBlockSize);
    (void) encodeCabinetData (cabinet.samples.data(), data.data());
    encodeName (cabinet.name, name.data());

    return KorvaluneDataFile (UserCabinetFile, index, { std::move (data), std::move (name) }).write (out);
}

Result readCabinetFile (IInputStream& in, UserCabinetData& cabinet, std::uint32_t* index)
{
    KorvaluneDataFile file;

    if (auto r = file.read (in); ! r.ok)
        return r;

    if (file.segments.size() < 2)
        return KORVALUNE_ERROR ("Too few segments in cabinet file");

    if (file.type != UserCabinetFile)
        return KORVALUNE_ERROR ("Not a cabinet file");

    if (index != nullptr)
        *index = file.index;

    const auto& data = file.segments[0];

    if (data.size() < cabinetDataSize)
        return KORVALUNE_ERROR ("Segment too small");

    (void) decodeCabinetData (data.data(), cabinet.samples.data());

    // A short name segment ends the name at its own end, never past it.
    std::uint8_t nameBlock[nameBlockSize] = {};
    const auto& name = file.segments[1];
    if (! name.empty())
        std::memcpy (nameBlock, name.data(), std::min (name.size(), nameBlockSize));
    return decodeName (nameBlock, cabinet.name);
}

Result writeGlobalsFile (const ParamMap& params, IOutputStream& out)
{
    KorvaluneDataFile::Segment block (paramBlockSize);

    if (auto r = encodeParams (params, block.data()); ! r.ok)
        return r;

    return KorvaluneDataFile (GlobalsFile, 0, { std::move (block) }).write (out);
}

Result readGlobalsFile (IInputStream& in, ParamMap& params)
{
    KorvaluneDataFile file;

    if (auto r = file.read (in); ! r.ok)
        return r;

    if (file.segments.empty())
        return KORVALUNE_ERROR ("Too few segments in globals file");

    if (file.type != GlobalsFile)
        return KORVALUNE_ERROR ("Not a globals file");

    const auto& block = file.segments[0];
    return decodeParams (block.data(), block.size(), params);
}

Result readStreamFully (IInputStream& in, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    std::uint8_t buffer[256];

    for (;;)
    {
        int got = 0;

        if (auto r = in.read (buffer, (int) sizeof (buffer), &got); ! r.ok)
            return r;

        if (got <= 0)
            return okResult;

        if (bytes.size() + (std::size_t) got > maxDataFileBytes)
            return KORVALUNE_ERROR ("Stream too large");

        bytes.insert (bytes.end(), buffer, buffer + got);
    }
}

void reverseBitsInBytes (std::uint8_t* bytes, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
    {
        std::uint8_t b = bytes[i], reversed = 0;

        for (int bit = 0; bit < 8; ++bit, b >>= 1)
            reversed = (std::uint8_t) ((reversed << 1) | (b & 1u));

        bytes[i] = reversed;
    }
}

Result loadFirmwareImage (IInputStream& in, std::vector<std::uint8_t>& image)
{
    if (auto r = readStreamFully (in, image); ! r.ok)
        return r;

    reverseBitsInBytes (image.data(), image.size());
    return okResult;
}

Result writeFirmwareEntry (const std::vector<std::uint8_t>& image, IOutputStream& out)
{
    auto fileOrder = image;
    reverseBitsInBytes (fileOrder.data(), fileOrder.size());
    return out.write (fileOrder.data(), fileOrder.size());
}

Result writeArchiveInfo (const DeviceVersionInfo& info, IOutputStream& out)
{
    const auto& s = info.system;
    const auto& d = info.dsp;

    if (auto r = writeLine (out, "SYSTEM_FW_VERSION : %d.%d.%d", s[0], s[1], s[2]); ! r.ok)
        return r;

    return writeLine (out, "DSP_FW_VERSION : %d.%d.%d", d[0], d[1], d[2]);
}

Result readArchiveInfo (IInputStream& in, DeviceVersionInfo& info)
{
    info.system = InvalidVersion;
    info.dsp = InvalidVersion;
    info.subtype = -1;

    std::string line;

    while (! in.isExhausted())
    {
        if (auto r = readLine (in, line); ! r.ok)
            return r;

        for (auto [pattern, version] : { std::pair { " SYSTEM_FW_VERSION : %d . %d . %d", &info.system },
                                         std::pair { " DSP_FW_VERSION : %d . %d . %d", &info.dsp } })
        {
            LineScanner scan (line, pattern);

            if (scan.converted() == 3)
            {
                *version = { (std::uint8_t) scan.number (0), (std::uint8_t) scan.number (1),
                             (std::uint8_t) scan.number (2), 0 };
                break;
            }
        }
    }

    return okResult;
}

} // namespace Korvalune
