#include "LinkTestSupport.h"
#include "Protocol/TransferChecksum.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Korvalune;
using namespace linktest;
using Fault = vunit::VirtualUnit::Fault;
namespace Data = Korvalune::KorvaluneData;

namespace
{
std::uint16_t checksumOf (const std::uint8_t* data, std::size_t size)
{
    std::uint16_t sum = 0;
    updateChecksum (sum, data, (std::uint32_t) size);
    return sum;
}

// The payload sizes of the frames of one type, in order.
std::vector<unsigned> payloadSizes (const std::vector<std::vector<std::uint8_t>>& frames, std::uint8_t type)
{
    std::vector<unsigned> sizes;

    for (auto& frame : frames)
        if (frame[0] == type)
            sizes.push_back (frame[1]);

    return sizes;
}

std::vector<unsigned> chunks (unsigned size)
{
    std::vector<unsigned> sizes (size / 62, 62);

    if (size % 62 != 0)
        sizes.push_back (size % 62);

    return sizes;
}

std::array<std::uint32_t, 1024> rampWords (std::uint32_t seed)
{
    std::array<std::uint32_t, 1024> words;

    for (std::uint32_t i = 0; i < words.size(); ++i)
        words[i] = seed * 0x01000193u + i * 0x9E3779B9u;

    return words;
}

vunit::UnitSettings quickFirmware()
{
    vunit::UnitSettings settings;
    settings.firmwareIdle = std::chrono::milliseconds (50);
    settings.returnDelay = std::chrono::milliseconds (50);
    return settings;
}
} // namespace

//==============================================================================
TEST (ProtocolOperations, SetGlobalsSendsTheWholeBlockWithItsChecksum)
{
    Link link;
    const Data::ParamMap params { { 0x205, 0x3F000000 }, { 0x200, 0 }, { 0x207, 0x3E800000 } };
    ASSERT_TRUE (link.protocol.setGlobals (params).ok);

    const auto frames = link.frames();
    ASSERT_EQ (frames.size(), 19u);
    EXPECT_EQ (frames.front(), bytes ({ TRANSFER_START, 0 }));
    EXPECT_EQ (payloadSizes (frames, TRANSFER_DATA), chunks (1024));

    std::uint8_t block[1024];
    ASSERT_TRUE (Data::encodeParams (params, block).ok);
    const auto sum = checksumOf (block, sizeof (block));
    EXPECT_EQ (frames.back(), bytes ({ TRANSFER_END, 7, 0x01, 0x00, 0x00, 0x00, 0x01, sum & 0xFF, sum >> 8 }));

    EXPECT_EQ (link.unit->getGlobals().at (0x205), 0x3F000000u);
    EXPECT_EQ (link.unit->getGlobals().at (0x207), 0x3E800000u);
}

TEST (ProtocolOperations, GlobalsReadBackWhatTheUnitHolds)
{
    Link link;
    link.unit->setGlobal (0x205, 0xC0500000);
    Data::ParamMap read { { 1, 1 } };
    ASSERT_TRUE (link.protocol.getGlobals (read).ok);
    EXPECT_EQ (read, link.unit->getGlobals());

    const auto frames = link.frames();
    EXPECT_EQ (frames.front(), bytes ({ READ_REQUEST, 5, GLOBALS, 0, 0, 0, 0 }));
    EXPECT_EQ (frames.size(), 19u) << "the request and one ACK per block message";
}

TEST (ProtocolOperations, CabinetDataGoesAsSixtySevenMessages)
{
    Link link;
    const auto words = rampWords (7);
    ASSERT_TRUE (link.protocol.setCabinetData (2, words.data()).ok);

    const auto frames = link.frames();
    EXPECT_EQ (payloadSizes (frames, TRANSFER_DATA), chunks (4096));

    std::uint8_t block[4096];
    (void) Data::encodeCabinetBlock (words.data(), block);
    const auto sum = checksumOf (block, sizeof (block));
    EXPECT_EQ (frames.back(), bytes ({ TRANSFER_END, 7, 0x0A, 0x02, 0x00, 0x00, 0x04, sum & 0xFF, sum >> 8 }));
    EXPECT_EQ (link.unit->getCabinet (2).words, words);

    std::array<std::uint32_t, 1024> back {};
    ASSERT_TRUE (link.protocol.getCabinetData (2, back.data()).ok);
    EXPECT_EQ (back, words);
}

TEST (ProtocolOperations, CabinetNamesRoundTrip)
{
    Link link;
    ASSERT_TRUE (link.protocol.setCabinetName (1, "Fridge 8x10").ok);
    EXPECT_EQ (link.unit->getCabinet (1).name, "Fridge 8x10");

    link.unit->clearFrames();
    std::string name = "old";
    ASSERT_TRUE (link.protocol.getCabinetName (1, name).ok);
    EXPECT_EQ (name, "Fridge 8x10");
    EXPECT_EQ (link.frames().front(), bytes ({ READ_REQUEST, 5, 0x09, 0x01, 0x00, 0x00, 0x00 }));
}

TEST (ProtocolOperations, VersionAndConnectionCheck)
{
    vunit::UnitSettings settings;
    settings.system = { 2, 3, 4, 0 };
    settings.dsp = { 1, 1, 9, 0 };
    settings.subtype = 2;
    Link link (settings);

    Data::DeviceVersionInfo info;
    ASSERT_TRUE (link.protocol.requestVersion (info).ok);
    EXPECT_EQ (info.system, (Data::Version { 2, 3, 4, 0 }));
    EXPECT_EQ (info.dsp, (Data::Version { 1, 1, 9, 0 }));
    EXPECT_EQ (info.subtype, 2);

    settings.subtype = -1;
    link.unit->setSettings (settings);
    ASSERT_TRUE (link.protocol.requestVersion (info).ok);
    EXPECT_EQ (info.subtype, -1);

    bool accepted = false;
    ASSERT_TRUE (link.protocol.requestConnection (accepted).ok);
    EXPECT_TRUE (accepted);
}

TEST (ProtocolOperations, ConnectionCheckTakesNackAndSilenceAsRefusal)
{
    Link link (vunit::UnitSettings(), testLimits (10000, 150));

    link.unit->addFault (fault (Fault::Kind::Nack));
    bool accepted = true;
    ASSERT_TRUE (link.protocol.requestConnection (accepted).ok);
    EXPECT_FALSE (accepted);

    link.unit->addFault (fault (Fault::Kind::Silent));
    accepted = true;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE (link.protocol.requestConnection (accepted).ok);
    EXPECT_FALSE (accepted);
    EXPECT_GE (std::chrono::steady_clock::now() - start, 150ms);
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp);
}

TEST (ProtocolOperations, SetParameterAndMessageCEWaitForNothing)
{
    Link link;
    float half = 0.5f;
    std::uint32_t bits;
    std::memcpy (&bits, &half, 4);

    ASSERT_TRUE (link.protocol.setParameter (0x0205, bits).ok);
    ASSERT_TRUE (link.protocol.sendMessageCE().ok);
    EXPECT_EQ (link.frames(), (std::vector<std::vector<std::uint8_t>> {
                                  bytes ({ 0xC7, 8, 0x05, 0x02, 0, 0, 0, 0, 0, 0x3F }), bytes ({ 0xCE, 0 }) }));
    EXPECT_EQ (link.unit->getGlobals().at (0x205), bits);

    // The unit's own reports of both (0xCF with 8 bytes, 0xCE) pass unlogged.
    bool accepted = false;
    ASSERT_TRUE (link.protocol.requestConnection (accepted).ok);
    EXPECT_FALSE (LogCapture::instance().contains ("Unhandled packet!"));
}

TEST (ProtocolOperations, FirmwareProgressAndFrames)
{
    Link link (quickFirmware());
    std::vector<std::uint8_t> image (124);

    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = (std::uint8_t) i;

    std::vector<double> progress;
    ASSERT_TRUE (link.protocol.updateFirmware (image, [&] (double p) { progress.push_back (p); }).ok);
    EXPECT_EQ (progress, (std::vector<double> { 0.5, 1.0 }));

    const auto frames = link.frames();
    EXPECT_EQ (frames.front(), bytes ({ 0xB1, 5, 0x00, 0x33, 0x7C, 0x1A, 0x5E }));
    EXPECT_EQ (payloadSizes (frames, FIRMWARE_DATA), chunks (124));

    // Whole blocks only: the unit takes the image once the host goes quiet.
    ASSERT_TRUE (link.unit->waitForPresence (false, std::chrono::steady_clock::now() + deadline));
    EXPECT_EQ (link.unit->getFirmware(), image);
}

TEST (ProtocolOperations, EmptyFirmwareSendsOneEmptyBlockAndReportsDone)
{
    Link link (quickFirmware());
    std::vector<double> progress;
    ASSERT_TRUE (link.protocol.updateFirmware ({}, [&] (double p) { progress.push_back (p); }).ok);
    EXPECT_EQ (progress, std::vector<double> { 1.0 });
    EXPECT_EQ (payloadSizes (link.frames(), FIRMWARE_DATA), std::vector<unsigned> { 0 });
    EXPECT_TRUE (link.unit->getStatus().receivingFirmware) << "nothing to flash: the unit waits on";
}

TEST (ProtocolOperations, FullImageGoesAsBlocksAndTheUnitReboots)
{
    auto settings = quickFirmware();
    settings.dsp = { 1, 1, 0, 0 };
    settings.nextDsp = { 1, 2, 5, 0 };
    Link link (settings);

    std::vector<std::uint8_t> image (55636);

    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = (std::uint8_t) (i * 31);

    int reports = 0;
    double last = 0;
    ASSERT_TRUE (link.protocol.updateFirmware (image, [&] (double p) { ++reports, last = p; }).ok);
    EXPECT_EQ (reports, 898);
    EXPECT_EQ (last, 1.0);
    EXPECT_EQ (payloadSizes (link.frames(), FIRMWARE_DATA), chunks (55636));

    ASSERT_TRUE (link.events.waitForState (LinkError)) << "the unit left the bus";
    ASSERT_TRUE (link.unit->waitForPresence (true, std::chrono::steady_clock::now() + deadline));
    EXPECT_EQ (link.unit->getPath(), "virtual:test#2");
    EXPECT_EQ (link.unit->getSettings().dsp, (Data::Version { 1, 2, 5, 0 }));
    EXPECT_EQ (link.unit->getFirmware(), image);
}

//==============================================================================
// The failure table: each row's message and whether the link is marked.
namespace
{
struct FailureRow
{
    const char* name;
    Fault unitFault;
    std::function<Result (KorvaluneProtocol&)> operation;
    const char* message;
    bool marked;
};

Result readGlobals (KorvaluneProtocol& p)
{
    Data::ParamMap map;
    return p.getGlobals (map);
}

Result writeName (KorvaluneProtocol& p)
{
    return p.setCabinetName (0, "x");
}

Result sendFirmware (KorvaluneProtocol& p)
{
    return p.updateFirmware (std::vector<std::uint8_t> (200, 1), {});
}

Result readVersion (KorvaluneProtocol& p)
{
    Data::DeviceVersionInfo info;
    return p.requestVersion (info);
}

Fault custom (std::uint8_t type, std::vector<std::uint8_t> report)
{
    auto f = fault (Fault::Kind::Custom, type);
    f.report = std::move (report);
    return f;
}
} // namespace

TEST (ProtocolOperations, FailureTable)
{
    using K = Fault::Kind;
    const FailureRow rows[] = {
        { "NACK to a write's TRANSFER_START", fault (K::Nack, TRANSFER_START), writeName,
          "Got NACK waiting for TRANSFER_START", false },
        { "NACK to READ_REQUEST", fault (K::Nack, READ_REQUEST), readGlobals, "Got NACK waiting for TRANSFER_START",
          true },
        { "NACK to TRANSFER_DATA", fault (K::Nack, TRANSFER_DATA, 3), writeName, "Got NACK during write transfer",
          true },
        { "NACK to TRANSFER_END", fault (K::Nack, TRANSFER_END), writeName, "Got NACK during write transfer", true },
        { "NACK inside a read", fault (K::Nack, ACK, 5), readGlobals, "Got unexpected NACK during read transfer",
          true },
        { "NACK to FIRMWARE_START", fault (K::Nack, FIRMWARE_START), sendFirmware, "Got NACK for firmware start",
          false },
        { "NACK to FIRMWARE_DATA", fault (K::Nack, FIRMWARE_DATA, 2), sendFirmware, "Got NACK during write transfer",
          true },
        { "NACK to VERSION_REQUEST", fault (K::Nack, VERSION_REQUEST), readVersion, "Got NACK for version request",
          false },
        { "version reply too short", custom (VERSION_REQUEST, bytes ({ ACK, 6, 0xB5, 1, 2, 3, 4, 5 })), readVersion,
          "Malformed version response", false },
        { "version reply not for VERSION_REQUEST", custom (VERSION_REQUEST, bytes ({ ACK, 8, 0xB4, 1, 2, 3, 4, 5, 6, 0 })),
          readVersion, "Malformed version response", false },
        { "silence in a transfer", fault (K::Silent, TRANSFER_DATA, 5), writeName, "Timeout", true },
        { "silence to VERSION_REQUEST", fault (K::Silent, VERSION_REQUEST), readVersion, "Timeout", false },
        { "reply of a type nobody expects", fault (K::WrongType, READ_REQUEST), readGlobals, "Timeout", true },
        { "unit vanishes in a transfer", fault (K::Vanish, ACK, 3), readGlobals, "Disconnect/error while waiting",
          true },
    };

    for (auto& row : rows)
    {
        SCOPED_TRACE (row.name);
        Link link (vunit::UnitSettings(), testLimits (200));
        link.unit->addFault (row.unitFault);

        expectFailure (row.operation (link.protocol), row.message);
        EXPECT_TRUE (LogCapture::instance().contains (row.message));

        // A vanished unit's transport reports Error by itself; the others
        // show only what the operation did.
        if (row.unitFault.kind != K::Vanish)
        {
            EXPECT_EQ (link.protocol.getLinkState(), row.marked ? LinkError : LinkUp);
        }
    }
}

TEST (ProtocolOperations, BrokenRepliesMarkTheLinkAndTimeOut)
{
    using K = Fault::Kind;
    const std::pair<K, const char*> rows[] = {
        { K::Short, "Short packet/msg!" },
        { K::Malformed, "Packet/msg length mismatch! (3 != 7)" },
        { K::Oversized, "Packet/msg length mismatch! (64 != 65)" },
    };

    for (auto [kind, logged] : rows)
    {
        SCOPED_TRACE (logged);
        Link link (vunit::UnitSettings(), testLimits (200));
        link.unit->addFault (fault (kind, VERSION_REQUEST));

        // The broken report is dropped and marks the link; the request then
        // hears nothing more and times out, or, when the mark beat it into
        // its wait, ends at once.
        const auto result = readVersion (link.protocol);
        ASSERT_FALSE (result.ok);
        EXPECT_TRUE (std::string (result.message) == "Timeout"
                     || std::string (result.message) == "Disconnect/error while waiting")
            << result.message;
        EXPECT_TRUE (LogCapture::instance().contains (logged));
        EXPECT_EQ (link.protocol.getLinkState(), LinkError);
    }
}

TEST (ProtocolOperations, WriteFailureInsideATransferMarksTheLink)
{
    Link link;
    link.observed.setFailWrites (true);
    expectFailure (writeName (link.protocol), "hid_write failed with %d");
    EXPECT_EQ (link.protocol.getLinkState(), LinkError);

    link.protocol.clearError();
    expectFailure (link.protocol.setParameter (0x200, 0), "hid_write failed with %d");
    expectFailure (link.protocol.sendMessageCE(), "hid_write failed with %d");
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp) << "single messages never mark the link";
}

TEST (ProtocolOperations, RequestsOnAnErrorLinkFailBeforeSending)
{
    Link link;
    link.protocol.markLinkError();
    expectFailure (readGlobals (link.protocol), "Invalid state");
    bool accepted = true;
    expectFailure (link.protocol.requestConnection (accepted), "Invalid state");
    EXPECT_FALSE (accepted);
    EXPECT_TRUE (link.frames().empty());

    ASSERT_TRUE (link.protocol.setParameter (0x200, 0).ok) << "set parameter ignores the link state";
}

TEST (ProtocolOperations, TooManyParamsSendsNothing)
{
    Link link;
    Data::ParamMap params;

    for (std::uint32_t id = 0; id < 129; ++id)
        params[id] = id;

    expectFailure (link.protocol.setGlobals (params), "Too many params");
    EXPECT_TRUE (link.frames().empty());
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp);
}

//==============================================================================
// Read transfers whose unit sends more or less than the block.
TEST (ProtocolOperations, LongReadKeepsTheBlockAndDecodesOnlyIt)
{
    Link link;
    std::vector<std::uint8_t> served (1100, 0);

    // 128 entries fill the 1024-byte block; the extra bytes hold more.
    for (std::uint32_t i = 0; i < served.size() / 8; ++i)
    {
        Data::writeWord (i + 1, served.data() + 8 * i);
        Data::writeWord (i * 3, served.data() + 8 * i + 4);
    }

    link.unit->serveBlock (GLOBALS, 0, served);
    Data::ParamMap map;
    ASSERT_TRUE (link.protocol.getGlobals (map).ok);
    EXPECT_EQ (map.size(), 128u);
    EXPECT_EQ (map.rbegin()->first, 128u);
    EXPECT_EQ (payloadSizes (link.frames(), ACK).size(), chunks (1100).size() + 1);
}

TEST (ProtocolOperations, ShortReadEndsANameButFailsACabinet)
{
    Link link;

    // Half a name block, every word a character: the rest of the block is
    // what the read leaves, which must end the name there.
    std::vector<std::uint8_t> half (512, 0);

    for (std::size_t i = 0; i < half.size(); i += 4)
        half[i] = 'a' + (std::uint8_t) ((i / 4) % 26);

    link.unit->serveBlock (CABINET_NAME, 2, half);
    std::string name;
    ASSERT_TRUE (link.protocol.getCabinetName (2, name).ok);
    EXPECT_EQ (name.size(), 128u);

    // A cabinet has no end of its own: a short one is no cabinet at all.
    link.unit->serveBlock (CABINET_DATA, 0, std::vector<std::uint8_t> (4095, 0xFF));
    std::array<std::uint32_t, 1024> words;
    words.fill (0x12345678);
    expectFailure (link.protocol.getCabinetData (0, words.data()), "Short cabinet data: %u of %u bytes");
    EXPECT_TRUE (LogCapture::instance().contains ("Short cabinet data: 4095 of 4096 bytes"));
    EXPECT_EQ (words[0], 0x12345678u);
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp) << "the transfer itself ended in order";
}

TEST (ProtocolOperations, EndlessReadIsCutOff)
{
    Link link;
    auto data = bytes ({ TRANSFER_DATA, 62 });
    data.resize (64, 0x01);
    auto endless = fault (Fault::Kind::Custom, ACK, 1, 0);
    endless.report = data;
    link.unit->addFault (endless);

    Data::ParamMap map;
    expectFailure (link.protocol.getGlobals (map), "Read transfer too long: %u bytes");
    EXPECT_EQ (link.protocol.getLinkState(), LinkError);
}
