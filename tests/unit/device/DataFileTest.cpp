#include "Protocol/KorvaluneDataFile.h"
#include "support/LogCapture.h"
#include "support/MemoryStreams.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace Korvalune;
using namespace Korvalune::KorvaluneData;

namespace
{
std::string cabinetText (const UserCabinetData& cabinet, uint32_t index)
{
    MemoryOut out;
    EXPECT_TRUE (writeCabinetFile (cabinet, out, index).ok);
    return out.text();
}

std::vector<std::string> linesOf (const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in (text);
    for (std::string line; std::getline (in, line);)
        lines.push_back (line);
    return lines;
}

Result readFile (const std::string& text, KorvaluneDataFile& file)
{
    MemoryIn in (text);
    return file.read (in);
}

// Expects the failure's message and that it was logged from the data-file source.
void expectFailure (Result r, const char* message)
{
    ASSERT_FALSE (r.ok);
    EXPECT_STREQ (r.message, message);
    EXPECT_TRUE (LogCapture::instance().contains ("KorvaluneDataFile.cpp")) << message;
}

const std::string segmentOf (int n, const std::string& body)
{
    return "# Data Segment " + std::to_string (n) + " Start - Do Not Delete\n" + body + "# Data Segment "
         + std::to_string (n) + " End - Do Not Delete\n\nCRC = 0x0000\n";
}
} // namespace

class DataFile : public testing::Test
{
protected:
    void SetUp() override { LogCapture::instance().clear(); }
};

TEST_F (DataFile, BypassCabinetMatchesTheKnownFile)
{
    UserCabinetData bypass;
    bypass.name = "BYPASS";
    const auto text = cabinetText (bypass, 0);

    EXPECT_EQ (text.size(), 25657u);
    const auto lines = linesOf (text);
    EXPECT_EQ (lines[0], "# File Type: User Cabinet data, Index = 0");
    EXPECT_EQ (lines[1], "");
    EXPECT_EQ (lines[4], "Data Segment 0: 8192 bytes excluding CRC");
    EXPECT_EQ (lines[6], "# Data Segment 0 Start - Do Not Delete");
    EXPECT_EQ (lines[7], "0x3f800000");
    EXPECT_NE (text.find ("CRC = 0x0fe0\n"), std::string::npos);
    EXPECT_NE (text.find ("Data Segment 1: 1024 bytes excluding CRC"), std::string::npos);
    EXPECT_NE (text.find ("CRC = 0xd6b2\n"), std::string::npos);
    EXPECT_EQ (text.substr (text.size() - 2), "\n\n");

    MemoryIn in (text);
    UserCabinetData back;
    back.samples.fill (9);
    uint32_t index = 77;
    ASSERT_TRUE (readCabinetFile (in, back, &index).ok);
    EXPECT_EQ (back.samples, bypass.samples);
    EXPECT_EQ (back.name, "BYPASS");
    EXPECT_EQ (index, 0u);
}

TEST_F (DataFile, CabinetRoundTripKeepsIndexAndLeavesSlotAlone)
{
    UserCabinetData cabinet;
    for (size_t i = 0; i < cabinet.samples.size(); ++i)
        cabinet.samples[i] = (uint32_t) (i * 2654435761u);
    cabinet.name = "4x10 Vintage";

    MemoryIn in (cabinetText (cabinet, 2));
    UserCabinetData back;
    back.slot = 5;
    uint32_t index = 0;
    ASSERT_TRUE (readCabinetFile (in, back, &index).ok);
    EXPECT_EQ (index, 2u);
    EXPECT_EQ (back.slot, 5);
    EXPECT_EQ (back.samples, cabinet.samples);
    EXPECT_EQ (back.name, cabinet.name);
}

TEST_F (DataFile, EmptyGlobalsFileIsTheKnownFile)
{
    MemoryOut out;
    ASSERT_TRUE (writeGlobalsFile ({}, out).ok);
    const auto text = out.text();

    EXPECT_EQ (text.size(), 2978u);
    EXPECT_EQ (linesOf (text)[0], "# File Type: Globals data");
    EXPECT_NE (text.find ("0xffffffff\n0x00000000\n"), std::string::npos);
    EXPECT_NE (text.find ("CRC = 0xff81\n"), std::string::npos);

    MemoryIn in (text);
    ParamMap map { { 1, 2 } };
    ASSERT_TRUE (readGlobalsFile (in, map).ok);
    EXPECT_TRUE (map.empty());
}

TEST_F (DataFile, GlobalsRoundTripAndTooManyWritesNothing)
{
    ParamMap map { { 0x200, 0x3f000000 }, { 0x208, 3 } };
    MemoryOut out;
    ASSERT_TRUE (writeGlobalsFile (map, out).ok);
    MemoryIn in (out.text());
    ParamMap back;
    ASSERT_TRUE (readGlobalsFile (in, back).ok);
    EXPECT_EQ (back, map);

    for (uint32_t i = 0; i < 129; ++i)
        map[i] = i;
    MemoryOut none;
    EXPECT_STREQ (writeGlobalsFile (map, none).message, "Too many params");
    EXPECT_TRUE (none.text().empty());
}

TEST_F (DataFile, HeaderSearchFailures)
{
    KorvaluneDataFile file;
    expectFailure (readFile ("", file), "Reached end of file looking for type");
    expectFailure (readFile ("# File Type: Globals data", file), "Reached end of file looking for type");
    // The header must be followed by more text.
    expectFailure (readFile ("# File Type: Globals data\n", file), "Reached end of file looking for type");
    expectFailure (readFile ("# File Type: user cabinet data, Index = 0\n\n", file), "Invalid file type string");
    expectFailure (readFile ("# File Type: User Cabinet data\n\n", file), "Missing index");
    expectFailure (readFile ("# File Type: " + std::string (300, 'x') + ", Index = 0\n\n", file),
                   "File type string too long");
}

TEST_F (DataFile, HeaderVariantsThatRead)
{
    KorvaluneDataFile file;
    ASSERT_TRUE (readFile ("junk line\n# no\n#FileType:User Cabinet data,Index=3\n\n", file).ok);
    EXPECT_EQ (file.type, 1u);
    EXPECT_EQ (file.index, 3u);
    EXPECT_TRUE (file.segments.empty());

    ASSERT_TRUE (readFile ("# File Type: Globals data, Index = 7\n\n", file).ok);
    EXPECT_EQ (file.type, 2u);
    EXPECT_EQ (file.index, 0u) << "a type without index ignores one in the line";

    for (auto [name, type] : { std::pair { "Preset data", 0u }, std::pair { "Amp_Model data", 3u } })
    {
        ASSERT_TRUE (readFile (std::string ("# File Type: ") + name + ", Index = 1\n\n", file).ok);
        EXPECT_EQ (file.type, type);
    }
}

TEST_F (DataFile, SegmentsAreTakenInFileOrderWithoutChecks)
{
    const std::string text = "# File Type: Preset data, Index = 0\n\n" + segmentOf (5, "0x1\nnot a word\n\n  0xAABBCCDD\n")
                           + "\n" + segmentOf (0, "0x00000002\n");
    KorvaluneDataFile file;
    ASSERT_TRUE (readFile (text, file).ok);
    ASSERT_EQ (file.segments.size(), 2u);
    EXPECT_EQ (file.segments[0], (std::vector<uint8_t> { 1, 0, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA }));
    EXPECT_EQ (file.segments[1], (std::vector<uint8_t> { 2, 0, 0, 0 }));
}

TEST_F (DataFile, EndOfFileInsideSegment)
{
    KorvaluneDataFile file;
    const std::string header = "# File Type: Globals data\n\n";
    expectFailure (readFile (header + "# Data Segment 0 Start\n0x1\n# Data Segment 0 End", file),
                   "Reached end of file inside segment");
    expectFailure (readFile (header + "# Data Segment 0 Start\n0x1\n# Data Segment 0 End\n", file),
                   "Reached end of file inside segment");
    expectFailure (readFile (header + "# Data Segment 0 Start\n0x1\n", file), "Reached end of file inside segment");
}

TEST_F (DataFile, OversizedSegmentsAreRefused)
{
    // Words past the limit are refused while reading, not after.
    std::string body;
    body.reserve (maxDataFileBytes / 4 * 11 + 64);
    for (size_t i = 0; i <= maxDataFileBytes / 4; ++i)
        body += "0x1\n";

    KorvaluneDataFile file;
    expectFailure (readFile ("# File Type: Globals data\n\n" + segmentOf (0, body), file), "Data file too large");
}

TEST_F (DataFile, CabinetFileRefusals)
{
    UserCabinetData cabinet;
    const auto original = cabinet.samples;
    MemoryIn onlyHeader ("# File Type: User Cabinet data, Index = 1\n\n");
    expectFailure (readCabinetFile (onlyHeader, cabinet), "Too few segments in cabinet file");

    MemoryOut globals;
    ASSERT_TRUE (writeGlobalsFile ({}, globals).ok);
    MemoryIn globalsIn (globals.text());
    // The segment count is checked before the type.
    expectFailure (readCabinetFile (globalsIn, cabinet), "Too few segments in cabinet file");

    MemoryIn twoGlobalsSegments ("# File Type: Globals data\n\n" + segmentOf (0, "0x1\n") + segmentOf (1, "0x1\n") + "\n");
    expectFailure (readCabinetFile (twoGlobalsSegments, cabinet), "Not a cabinet file");

    uint32_t index = 0;
    MemoryIn small ("# File Type: User Cabinet data, Index = 4\n\n" + segmentOf (0, "0x1\n") + segmentOf (1, "0x41\n") + "\n");
    expectFailure (readCabinetFile (small, cabinet, &index), "Segment too small");
    EXPECT_EQ (index, 4u) << "the index is stored before the size check";
    EXPECT_EQ (cabinet.samples, original);
}

TEST_F (DataFile, CabinetIgnoresExtraBytesAndSegments)
{
    std::string words;
    for (int i = 0; i < 2250; ++i)
        words += "0x" + std::to_string (i % 10) + "\n";

    MemoryIn in ("# File Type: User Cabinet data, Index = 0\n\n" + segmentOf (0, words)
                 + segmentOf (1, "0x41\n0x42\n0x0\n0x43\n") + segmentOf (2, "0x5\n") + "\n");
    UserCabinetData cabinet;
    ASSERT_TRUE (readCabinetFile (in, cabinet).ok);
    EXPECT_EQ (cabinet.samples[2047], 7u);
    EXPECT_EQ (cabinet.name, "AB");
}

TEST_F (DataFile, ShortNameSegmentEndsTheNameAtItsOwnEnd)
{
    std::string words;
    for (int i = 0; i < 2048; ++i)
        words += "0x0\n";

    MemoryIn in ("# File Type: User Cabinet data, Index = 0\n\n" + segmentOf (0, words) + segmentOf (1, "0x41\n0x42\n") + "\n");
    UserCabinetData cabinet;
    ASSERT_TRUE (readCabinetFile (in, cabinet).ok);
    EXPECT_EQ (cabinet.name, "AB");

    MemoryIn empty ("# File Type: User Cabinet data, Index = 0\n\n" + segmentOf (0, words) + segmentOf (1, "") + "\n");
    ASSERT_TRUE (readCabinetFile (empty, cabinet).ok);
    EXPECT_EQ (cabinet.name, "");
}

TEST_F (DataFile, GlobalsFileRefusalsLeaveTheMapUntouched)
{
    ParamMap map { { 1, 1 } };
    MemoryIn none ("# File Type: Globals data\n\n");
    expectFailure (readGlobalsFile (none, map), "Too few segments in globals file");

    UserCabinetData cabinet;
    MemoryIn cabinetFile (cabinetText (cabinet, 0));
    expectFailure (readGlobalsFile (cabinetFile, map), "Not a globals file");
    EXPECT_EQ (map, (ParamMap { { 1, 1 } }));
}

TEST_F (DataFile, WriterRefusesUnknownTypesAndStopsAtFirstFailure)
{
    MemoryOut out;
    KorvaluneDataFile bad (9, 0, {});
    expectFailure (bad.write (out), "Invalid file type %u");
    EXPECT_TRUE (out.text().empty());

    KorvaluneDataFile odd (GlobalsFile, 0, { { 1, 2, 3, 4, 5 } });
    ASSERT_TRUE (odd.write (out).ok);
    EXPECT_NE (out.text().find ("Data Segment 0: 5 bytes excluding CRC"), std::string::npos);
    EXPECT_NE (out.text().find ("0x04030201\n# Data Segment 0 End"), std::string::npos)
        << "a trailing partial word gets no line";
}

TEST_F (DataFile, StreamAndFirmwareHelpers)
{
    std::vector<uint8_t> bytes (1000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = (uint8_t) i;

    MemoryIn in (bytes.data(), bytes.size());
    std::vector<uint8_t> read { 9 };
    ASSERT_TRUE (readStreamFully (in, read).ok);
    EXPECT_EQ (read, bytes);

    uint8_t some[] = { 0x01, 0x12, 0x0F, 0xFF, 0x00 };
    reverseBitsInBytes (some, sizeof (some));
    EXPECT_EQ (std::vector<uint8_t> (some, some + 5), (std::vector<uint8_t> { 0x80, 0x48, 0xF0, 0xFF, 0x00 }));

    const uint8_t ldr[] = { 0x01, 0x02, 0x80 };
    MemoryIn ldrIn (ldr, sizeof (ldr));
    std::vector<uint8_t> image;
    ASSERT_TRUE (loadFirmwareImage (ldrIn, image).ok);
    EXPECT_EQ (image, (std::vector<uint8_t> { 0x80, 0x40, 0x01 }));

    MemoryOut out;
    ASSERT_TRUE (writeFirmwareEntry (image, out).ok);
    EXPECT_EQ (out.bytes(), (std::vector<uint8_t> { 0x01, 0x02, 0x80 }));
    EXPECT_EQ (image, (std::vector<uint8_t> { 0x80, 0x40, 0x01 })) << "the caller's image stays in sending order";
}

TEST_F (DataFile, StreamsLargerThanTheLimitAreRefused)
{
    std::vector<uint8_t> big (maxDataFileBytes + 1);
    MemoryIn in (big.data(), big.size());
    std::vector<uint8_t> read;
    expectFailure (readStreamFully (in, read), "Stream too large");
    EXPECT_LE (read.size(), maxDataFileBytes);
}

TEST_F (DataFile, ArchiveInfo)
{
    DeviceVersionInfo info;
    info.system = { 1, 2, 3, 4 };
    info.dsp = { 1, 2, 0, 9 };
    info.subtype = 2;

    MemoryOut out;
    ASSERT_TRUE (writeArchiveInfo (info, out).ok);
    EXPECT_EQ (out.text(), "SYSTEM_FW_VERSION : 1.2.3\nDSP_FW_VERSION : 1.2.0\n");

    DeviceVersionInfo back;
    back.subtype = 5;
    MemoryIn in (out.text());
    ASSERT_TRUE (readArchiveInfo (in, back).ok);
    EXPECT_EQ (back.system, (Version { 1, 2, 3, 0 }));
    EXPECT_EQ (back.dsp, (Version { 1, 2, 0, 0 }));
    EXPECT_EQ (back.subtype, -1);

    MemoryIn loose ("noise\n  SYSTEM_FW_VERSION:1 . 2 . 3\nSYSTEM_FW_VERSION : 256.1.1\nDSP_FW_VERSION : 1.2\n");
    ASSERT_TRUE (readArchiveInfo (loose, back).ok);
    EXPECT_EQ (back.system, (Version { 0, 1, 1, 0 })) << "a later line wins; numbers keep their low 8 bits";
    EXPECT_EQ (back.dsp, InvalidVersion) << "two numbers are not a version";
}
