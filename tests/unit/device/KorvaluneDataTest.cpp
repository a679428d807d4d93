#include "Protocol/KorvaluneData.h"
#include "Protocol/TransferChecksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Korvalune;
using namespace Korvalune::KorvaluneData;

namespace
{
std::vector<uint8_t> encoded (const ParamMap& map)
{
    std::vector<uint8_t> block (paramBlockSize, 0xAA);
    EXPECT_TRUE (encodeParams (map, block.data()).ok);
    return block;
}
} // namespace

TEST (Checksum, KnownValues)
{
    uint16_t sum = 0;
    updateChecksum (sum, reinterpret_cast<const uint8_t*> ("abc"), 3);
    EXPECT_EQ (sum, 0x40ac);

    sum = 0;
    updateChecksum (sum, reinterpret_cast<const uint8_t*> ("a"), 1);
    updateChecksum (sum, reinterpret_cast<const uint8_t*> ("bc"), 2);
    EXPECT_EQ (sum, 0x40ac) << "running sums continue across calls";

    std::vector<uint8_t> zeros (4096, 0);
    sum = 0;
    updateChecksum (sum, zeros.data(), (uint32_t) zeros.size());
    EXPECT_EQ (sum, 0);
}

TEST (ParamBlock, EmptyMapIsAllEndMarkers)
{
    auto block = encoded ({});

    for (size_t i = 0; i < paramBlockEntries; ++i)
    {
        EXPECT_EQ (readWord (&block[8 * i]), 0xFFFFFFFFu);
        EXPECT_EQ (readWord (&block[8 * i + 4]), 0u);
    }

    ParamMap back { { 1, 1 } };
    EXPECT_TRUE (decodeParams (block.data(), block.size(), back).ok);
    EXPECT_TRUE (back.empty());
}

TEST (ParamBlock, SortsByUnsignedIdLittleEndian)
{
    auto block = encoded ({ { 5, 50 }, { 2, 0x11223344 }, { 0x200, 7 }, { 0x80000000u, 9 } });

    EXPECT_EQ (std::vector<uint8_t> (block.begin(), block.begin() + 8),
               (std::vector<uint8_t> { 2, 0, 0, 0, 0x44, 0x33, 0x22, 0x11 }));
    EXPECT_EQ (readWord (&block[8]), 5u);
    EXPECT_EQ (readWord (&block[16]), 0x200u);
    EXPECT_EQ (readWord (&block[24]), 0x80000000u);
    EXPECT_EQ (readWord (&block[32]), 0xFFFFFFFFu);
}

TEST (ParamBlock, FullBlockHasNoEndMarkerAndOneMoreFails)
{
    ParamMap map;
    for (uint32_t i = 0; i < 128; ++i)
        map[i * 3] = i;

    auto block = encoded (map);
    ParamMap back;
    ASSERT_TRUE (decodeParams (block.data(), block.size(), back).ok);
    EXPECT_EQ (back, map);

    map[9999] = 1;
    std::vector<uint8_t> untouched (paramBlockSize, 0xAA);
    auto r = encodeParams (map, untouched.data());
    EXPECT_STREQ (r.message, "Too many params");
    EXPECT_EQ (untouched, std::vector<uint8_t> (paramBlockSize, 0xAA));
}

TEST (ParamBlock, DecodeStopsAtEndMarkerAndIgnoresPartialEntries)
{
    std::vector<uint8_t> bytes (24, 0);
    writeWord (1, &bytes[0]);
    writeWord (10, &bytes[4]);
    writeWord (0xFFFFFFFF, &bytes[8]);
    writeWord (2, &bytes[16]);
    writeWord (20, &bytes[20]);

    ParamMap map;
    ASSERT_TRUE (decodeParams (bytes.data(), bytes.size(), map).ok);
    EXPECT_EQ (map, (ParamMap { { 1, 10 } }));

    ASSERT_TRUE (decodeParams (bytes.data(), 7, map).ok);
    EXPECT_TRUE (map.empty());
    ASSERT_TRUE (decodeParams (nullptr, 0, map).ok);
    EXPECT_TRUE (map.empty());

    // A later entry for the same id wins.
    writeWord (1, &bytes[8]);
    writeWord (11, &bytes[12]);
    ASSERT_TRUE (decodeParams (bytes.data(), 16, map).ok);
    EXPECT_EQ (map, (ParamMap { { 1, 11 } }));
}

TEST (ParamBlock, AnEndMarkerIdInTheMapReadsBackAsTheEnd)
{
    auto block = encoded ({ { 3, 1 }, { 0xFFFFFFFF, 2 } });
    ParamMap back;
    ASSERT_TRUE (decodeParams (block.data(), block.size(), back).ok);
    EXPECT_EQ (back, (ParamMap { { 3, 1 } }));
}

TEST (NameBlock, EncodesLowBytesAndCutsAt255)
{
    uint8_t block[nameBlockSize];
    encodeName ("", block);
    EXPECT_EQ (std::vector<uint8_t> (block, block + nameBlockSize), std::vector<uint8_t> (nameBlockSize, 0));
    EXPECT_EQ (unpackName (block), "");

    encodeName ("Ab", block);
    EXPECT_EQ (block[0], 'A');
    EXPECT_EQ (block[1], 0);
    EXPECT_EQ (block[4], 'b');
    EXPECT_EQ (block[8], 0);

    const std::string longName (300, 'n');
    encodeName (longName, block);
    EXPECT_EQ (readWord (&block[1020]), 0u);
    EXPECT_EQ (unpackName (block), longName.substr (0, 255));
}

TEST (NameBlock, EmbeddedZeroEndsTheName)
{
    uint8_t block[nameBlockSize];
    encodeName (std::string ("ab\0cd", 5), block);
    EXPECT_EQ (block[12], 0) << "nothing written after the zero";
    std::string name;
    ASSERT_TRUE (decodeName (block, name).ok);
    EXPECT_EQ (name, "ab");
}

TEST (NameBlock, DecodeReadsLowBytesOnlyAndStopsAt255)
{
    uint8_t block[nameBlockSize];
    std::memset (block, 0x41, sizeof (block));
    EXPECT_EQ (unpackName (block), std::string (255, 'A')) << "a block without zero ends at 255";

    std::memset (block, 0, sizeof (block));
    writeWord (0xFFFFFF43, &block[0]);
    writeWord (0x12345644, &block[4]);
    EXPECT_EQ (unpackName (block), "CD");
}

TEST (NameBlock, ShortFormHoldsFifteen)
{
    uint8_t block[shortNameBlockSize];
    encodeShortName ("abcdefghijklmnopq", block);
    EXPECT_EQ (readWord (&block[60]), 0u);
    std::string name;
    ASSERT_TRUE (decodeShortName (block, name).ok);
    EXPECT_EQ (name, "abcdefghijklmno");
}

TEST (CabinetCodec, DefaultRecordHasAnImpulseInEachHalf)
{
    UserCabinetData cabinet;
    std::vector<uint8_t> data (cabinetDataSize);
    ASSERT_TRUE (encodeCabinetData (cabinet.samples.data(), data.data()).ok);

    for (size_t i = 0; i < data.size(); ++i)
    {
        const bool high = i == 2 || i == 4098;
        const bool top = i == 3 || i == 4099;
        EXPECT_EQ (data[i], top ? 0x3F : high ? 0x80 : 0) << "byte " << i;
    }

    UserCabinetData back;
    back.samples.fill (7);
    ASSERT_TRUE (decodeCabinetData (data.data(), back.samples.data()).ok);
    EXPECT_EQ (back.samples, cabinet.samples);
    EXPECT_EQ (cabinet.slot, 0);
    EXPECT_TRUE (cabinet.name.empty());
}

TEST (CabinetCodec, BlockFormIsTheFirstHalf)
{
    std::vector<uint32_t> words (cabinetWords);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = (uint32_t) (i * 0x01010101u);

    std::vector<uint8_t> block (cabinetBlockSize);
    ASSERT_TRUE (encodeCabinetBlock (words.data(), block.data()).ok);
    EXPECT_EQ (block[4 * 5], 5);
    EXPECT_EQ (block[4 * 5 + 3], 5);

    std::vector<uint32_t> back (cabinetWords);
    ASSERT_TRUE (decodeCabinetBlock (block.data(), back.data()).ok);
    EXPECT_EQ (back, words);
}

TEST (Archive, CopyIsDeepAndKeepsMissingPartsMissing)
{
    QuellonArchive archive;
    archive.globals = std::make_unique<ParamMap> (ParamMap { { 0x200, 1 } });

    QuellonArchive copy (archive);
    EXPECT_EQ (copy.versions, nullptr);
    EXPECT_EQ (copy.firmware, nullptr);
    EXPECT_TRUE (copy.cabinets.empty());
    ASSERT_NE (copy.globals, nullptr);
    EXPECT_NE (copy.globals.get(), archive.globals.get());
    EXPECT_EQ (*copy.globals, *archive.globals);

    archive.versions = std::make_unique<DeviceVersionInfo>();
    archive.versions->dsp = { 1, 2, 0, 0 };
    archive.firmware = std::make_unique<std::vector<uint8_t>> (std::vector<uint8_t> { 1, 2 });
    archive.cabinets.resize (2);
    archive.cabinets[1].name = "two";

    copy = archive;
    archive.firmware->push_back (3);
    EXPECT_EQ (*copy.firmware, (std::vector<uint8_t> { 1, 2 }));
    EXPECT_EQ (copy.versions->dsp, (Version { 1, 2, 0, 0 }));
    EXPECT_EQ (copy.cabinets[1].name, "two");
    EXPECT_EQ (copy.cabinets[0].samples[1024], unitImpulseBits) << "grown records are default cabinets";
}
