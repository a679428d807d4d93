#include "Protocol/DeviceMessage.h"
#include "Protocol/TransferChecksum.h"
#include "VirtualUnitDevice.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Korvalune;
using namespace std::chrono_literals;
using vunit::VirtualUnit;
using Fault = VirtualUnit::Fault;

namespace
{
// Talks to a unit in raw frames, as a host would.
struct Host
{
    explicit Host (vunit::UnitSettings settings = {})
        : unit (std::make_shared<VirtualUnit> ("virtual:u", std::move (settings))), device (unit)
    {
    }

    int send (const DeviceMessage& message)
    {
        std::uint8_t report[65] = { 0 };
        std::memcpy (report + 1, message.data(), message.length);
        return device.write (report, message.length + 1);
    }

    int send (std::uint8_t type, std::vector<std::uint8_t> payload = {})
    {
        return send (makeMessage (type, payload.data(), (unsigned) payload.size()));
    }

    // The next report, or an empty one when none comes within the limit.
    std::vector<std::uint8_t> receive (int timeoutMs = 5000)
    {
        std::uint8_t buffer[64];
        const int count = device.read (buffer, sizeof (buffer), timeoutMs);
        return count > 0 ? std::vector<std::uint8_t> (buffer, buffer + count) : std::vector<std::uint8_t>();
    }

    std::uint8_t replyType() { return receive().at (0); }

    // A write transfer of `block`, with the given word count and checksum.
    std::uint8_t writeBlock (std::uint8_t kind, std::uint16_t index, const std::vector<std::uint8_t>& block,
                             std::uint16_t words, std::uint16_t checksum)
    {
        send (TRANSFER_START);
        EXPECT_EQ (replyType(), ACK);

        for (std::size_t at = 0; at < block.size(); at += 62)
        {
            const auto count = std::min<std::size_t> (62, block.size() - at);
            send (makeMessage (TRANSFER_DATA, block.data() + at, (unsigned) count));
            EXPECT_EQ (replyType(), ACK);
        }

        send (makeTransferEnd (kind, index, words, checksum));
        return replyType();
    }

    std::shared_ptr<VirtualUnit> unit;
    vunit::VirtualUnitDevice device;
};

std::uint16_t checksumOf (const std::vector<std::uint8_t>& block)
{
    std::uint16_t sum = 0;
    updateChecksum (sum, block.data(), (std::uint32_t) block.size());
    return sum;
}

Fault makeFault (Fault::Kind kind, int type, int at, int times)
{
    Fault f;
    f.kind = kind;
    f.type = type;
    f.at = at;
    f.times = times;
    return f;
}
} // namespace

TEST (VirtualUnit, WriteTransfersAreCheckedBeforeTheyAreStored)
{
    Host host;
    std::vector<std::uint8_t> name (1024, 0);
    name[0] = 'Z';
    const auto sum = checksumOf (name);

    EXPECT_EQ (host.writeBlock (CABINET_NAME, 1, name, 256, (std::uint16_t) (sum + 1)), NACK) << "bad checksum";
    EXPECT_EQ (host.writeBlock (CABINET_NAME, 1, name, 255, sum), NACK) << "bad word count";
    EXPECT_EQ (host.writeBlock (CABINET_NAME, 3, name, 256, sum), NACK) << "no such slot";
    EXPECT_EQ (host.writeBlock (CABINET_DATA, 1, name, 256, sum), NACK) << "wrong size for the kind";
    EXPECT_EQ (host.unit->getCabinet (1).name, "User Cabinet 2");

    EXPECT_EQ (host.writeBlock (CABINET_NAME, 1, name, 256, sum), ACK);
    EXPECT_EQ (host.unit->getCabinet (1).name, "Z");

    host.send (TRANSFER_DATA, { 1, 2 });
    EXPECT_EQ (host.replyType(), NACK) << "data outside a transfer";
    host.send (ACK);
    EXPECT_EQ (host.replyType(), NACK) << "no read transfer to go on with";
}

TEST (VirtualUnit, ReadTransferSendsTheBlockThenItsEnd)
{
    Host host;
    host.send (makeReadRequest (CABINET_NAME, 0));
    EXPECT_EQ (host.receive().at (0), TRANSFER_START);

    std::vector<std::uint8_t> block;

    for (;;)
    {
        host.send (ACK);
        const auto report = host.receive();
        ASSERT_EQ (report.size(), 64u);

        if (report[0] == TRANSFER_END)
        {
            EXPECT_EQ (report[1], 7);
            EXPECT_EQ (readHalfWord (&report[5]), 256);
            EXPECT_EQ (readHalfWord (&report[7]), checksumOf (block));
            break;
        }

        ASSERT_EQ (report[0], TRANSFER_DATA);
        block.insert (block.end(), report.begin() + 2, report.begin() + 2 + report[1]);
    }

    EXPECT_EQ (block.size(), 1024u);
    EXPECT_EQ (KorvaluneData::unpackName (block.data()), "User Cabinet 1");

    host.send (makeReadRequest (GLOBALS, 1));
    EXPECT_EQ (host.replyType(), NACK) << "globals have only index 0";
}

TEST (VirtualUnit, WireTimeDelaysTheWriteAndTheReply)
{
    vunit::UnitSettings settings;
    settings.wireTime = 20ms;
    Host host (settings);

    const auto start = std::chrono::steady_clock::now();
    host.send (CONNECT_REQUEST);
    EXPECT_GE (std::chrono::steady_clock::now() - start, 20ms) << "the report holds the wire";
    EXPECT_TRUE (host.receive (0).empty()) << "not yet readable";
    EXPECT_EQ (host.replyType(), ACK);
    EXPECT_GE (std::chrono::steady_clock::now() - start, 40ms) << "one wire time each way";
}

TEST (VirtualUnit, FaultsCountTheirFramesFromArming)
{
    Host host;
    host.unit->addFault (makeFault (Fault::Kind::Nack, CONNECT_REQUEST, 2, 2));

    const std::uint8_t expected[] = { ACK, NACK, NACK, ACK };

    for (auto type : expected)
    {
        host.send (VERSION_REQUEST);
        EXPECT_EQ (host.replyType(), ACK) << "other types do not count";
        host.send (CONNECT_REQUEST);
        EXPECT_EQ (host.replyType(), type);
    }

    EXPECT_EQ (host.unit->getStatus().armedFaults, 0u) << "spent faults go";
}

TEST (VirtualUnit, VanishingUnitFailsEveryCallOfItsOldHandles)
{
    Host host;
    host.unit->addFault (makeFault (Fault::Kind::Vanish, -1, 2, 1));

    EXPECT_GT (host.send (CONNECT_REQUEST), 0);
    EXPECT_EQ (host.replyType(), ACK);
    EXPECT_GT (host.send (CONNECT_REQUEST), 0) << "the frame that makes it vanish still went out";
    EXPECT_FALSE (host.unit->isPresent());

    std::uint8_t buffer[64];
    EXPECT_EQ (host.device.read (buffer, sizeof (buffer), 1000), -1);
    EXPECT_EQ (host.send (CONNECT_REQUEST), -1);

    host.unit->plug();
    EXPECT_TRUE (host.unit->isPresent());
    EXPECT_EQ (host.send (CONNECT_REQUEST), -1) << "a handle from before stays dead";
    vunit::VirtualUnitDevice fresh (host.unit);
    EXPECT_TRUE (fresh.isOpen());
}

TEST (VirtualUnit, ReplugBringsItBackUnderItsPathAfterTheGap)
{
    Host host;
    host.unit->plug (std::string ("virtual:u#2"));
    ASSERT_TRUE (host.unit->replug (50ms));
    EXPECT_FALSE (host.unit->isPresent());

    ASSERT_TRUE (host.unit->waitForPresence (true, std::chrono::steady_clock::now() + 10s));
    EXPECT_EQ (host.unit->getPath(), "virtual:u#2");
    EXPECT_EQ (host.send (CONNECT_REQUEST), -1) << "a handle from before stays dead";

    host.unit->unplug();
    EXPECT_FALSE (host.unit->replug (0ms)) << "only a unit on the bus";
}

TEST (VirtualUnit, AReplugFaultLeavesAndReturnsUnderItsPathOnTheChosenFrame)
{
    Host host;
    const auto path = host.unit->getPath();
    host.unit->addFault (makeFault (Fault::Kind::Replug, CONNECT_REQUEST, 2, 1));

    EXPECT_GT (host.send (CONNECT_REQUEST), 0);
    EXPECT_EQ (host.replyType(), ACK);
    EXPECT_GT (host.send (CONNECT_REQUEST), 0);

    EXPECT_TRUE (host.unit->isPresent());
    EXPECT_EQ (host.unit->getPath(), path);
    std::uint8_t buffer[64];
    EXPECT_EQ (host.device.read (buffer, sizeof (buffer), 1000), -1) << "the second frame has no answer";
    EXPECT_EQ (host.send (CONNECT_REQUEST), -1) << "a handle from before stays dead";
}

TEST (VirtualUnit, KeepsItsStateAcrossUnplugging)
{
    Host host;
    host.unit->setGlobal (0x203, 4);
    host.unit->unplug();

    vunit::VirtualUnitDevice closed (host.unit);
    EXPECT_FALSE (closed.isOpen()) << "cannot open a unit off the bus";

    host.unit->plug (std::string ("virtual:elsewhere"));
    EXPECT_EQ (host.unit->getPath(), "virtual:elsewhere");
    EXPECT_EQ (host.unit->getGlobals().at (0x203), 4u);
}

TEST (VirtualUnit, FirmwareOfWholeBlocksCompletesWhenTheHostGoesQuiet)
{
    vunit::UnitSettings settings;
    settings.firmwareIdle = 100ms;
    settings.returnDelay = 200ms;
    settings.nextSystem = KorvaluneData::Version { 3, 0, 0, 0 };
    Host host (settings);

    host.send (makeFirmwareStart());
    EXPECT_EQ (host.replyType(), ACK);
    host.send (FIRMWARE_DATA, std::vector<std::uint8_t> (62, 0xA5));
    EXPECT_EQ (host.replyType(), ACK);
    EXPECT_TRUE (host.unit->isPresent());

    ASSERT_TRUE (host.unit->waitForPresence (false, std::chrono::steady_clock::now() + 10s));
    EXPECT_EQ (host.unit->getFirmware(), std::vector<std::uint8_t> (62, 0xA5));
    EXPECT_TRUE (host.receive (0).empty());

    ASSERT_TRUE (host.unit->waitForPresence (true, std::chrono::steady_clock::now() + 10s));
    const auto status = host.unit->getStatus();
    EXPECT_EQ (status.path, "virtual:u#2");
    EXPECT_EQ (status.settings.system, (KorvaluneData::Version { 3, 0, 0, 0 }));
    EXPECT_EQ (status.firmwareUpdates, 1);
}

TEST (VirtualUnit, RefusesABadFirmwareStart)
{
    Host host;
    host.send (FIRMWARE_START, { 0, 0x33, 0x7C, 0x1A, 0x5F });
    EXPECT_EQ (host.replyType(), NACK);
    host.send (FIRMWARE_DATA, { 1 });
    EXPECT_EQ (host.replyType(), NACK) << "no transfer was started";
}

TEST (VirtualUnit, FloodKeepsComingUntilStopped)
{
    Host host;
    host.unit->setFlood ({ MESSAGE_CE, 0 });

    for (int i = 0; i < 100; ++i)
        ASSERT_EQ (host.receive().at (0), MESSAGE_CE);

    host.unit->setFlood ({});
    EXPECT_TRUE (host.receive (0).empty());
}

TEST (VirtualUnit, ReportsTheParameterItWasGiven)
{
    Host host;
    host.send (makeSetParameter (0x208, 0));
    const auto report = host.receive();
    EXPECT_EQ (report.at (0), MESSAGE_CF);
    EXPECT_EQ (report.at (1), 8);
    EXPECT_EQ (host.unit->getGlobals().at (0x208), 0u);

    host.send (0xB9);
    EXPECT_EQ (host.replyType(), NACK) << "unknown messages are refused";
}
