#include "LinkTestSupport.h"
#include "Protocol/DeviceMessage.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Korvalune;
using namespace linktest;

namespace
{
struct TransportRig
{
    TransportRig()
        : unit (std::make_shared<vunit::VirtualUnit> ("virtual:test")), device (unit), observed (device)
    {
        LogCapture::instance().clear();
    }

    std::unique_ptr<KorvaluneUSBPacketIO> start()
    {
        auto transport = std::make_unique<KorvaluneUSBPacketIO> (&observed, testReadTimeoutMs);
        (void) transport->setHandler (&events);
        EXPECT_TRUE (events.waitForState (LinkUp));
        return transport;
    }

    std::shared_ptr<vunit::VirtualUnit> unit;
    vunit::VirtualUnitDevice device;
    ObservedDevice observed;
    TransportEvents events;
};
// A handler set before the read thread runs first hears Down; what matters
// is everything from the first Up on.
std::vector<int> fromFirstUp (std::vector<int> states)
{
    auto up = std::find (states.begin(), states.end(), LinkUp);
    return { up, states.end() };
}
} // namespace

TEST (PacketIO, WritesOneReportPerMessageWithReportIdZero)
{
    TransportRig rig;
    auto transport = rig.start();

    std::vector<std::uint8_t> message (64, 0x5A);
    message[0] = 0xCE;
    message[1] = 62;
    ASSERT_TRUE (transport->writePacket (message.data(), 64).ok);

    auto frames = rig.unit->getFrames();
    ASSERT_EQ (frames.size(), 1u);
    EXPECT_EQ (frames[0].length, 64u) << "the 65-byte report minus its id";
    EXPECT_EQ (frames[0].bytes[63], 0x5A);

    expectFailure (transport->writePacket (message.data(), 65), "Packet too large");
    EXPECT_EQ (rig.unit->getFrames().size(), 1u) << "nothing written";
    EXPECT_EQ (rig.observed.getWrites(), 1);
}

TEST (PacketIO, HandsEveryInputReportToTheHandlerAsItCame)
{
    TransportRig rig;
    auto transport = rig.start();

    const auto request = makeMessage (CONNECT_REQUEST);
    ASSERT_TRUE (transport->writePacket (request.data(), request.length).ok);
    ASSERT_TRUE (rig.events.waitForPackets (1));

    const auto packet = rig.events.getPackets()[0];
    ASSERT_EQ (packet.size(), 64u) << "the unit sends whole input reports";
    EXPECT_EQ (bytes ({ packet[0], packet[1], packet[2] }), bytes ({ ACK, 1, CONNECT_REQUEST }));
}

TEST (PacketIO, NewHandlerHearsTheCurrentStateAtOnce)
{
    TransportRig rig;
    auto transport = rig.start();

    TransportEvents late;
    (void) transport->setHandler (&late);
    EXPECT_EQ (late.getStates(), std::vector<int> { LinkUp }) << "told inside setHandler";

    (void) transport->setHandler (nullptr);
    transport.reset();
    EXPECT_EQ (late.getStates(), std::vector<int> { LinkUp }) << "a detached handler hears nothing more";
}

TEST (PacketIO, QuietLinkKeepsPollingWithoutTellingTheHandler)
{
    TransportRig rig;
    auto transport = rig.start();

    ASSERT_TRUE (rig.observed.waitForReads (10)) << "ten read time limits pass";
    EXPECT_EQ (fromFirstUp (rig.events.getStates()), std::vector<int> { LinkUp });
    EXPECT_TRUE (rig.events.getPackets().empty());
}

TEST (PacketIO, StopTellsDownAndReturnsWithinAReadLimit)
{
    TransportRig rig;
    auto transport = rig.start();

    const auto start = std::chrono::steady_clock::now();
    transport.reset();
    EXPECT_LT (std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ (fromFirstUp (rig.events.getStates()), (std::vector<int> { LinkUp, LinkDown }));
}

TEST (PacketIO, ReadFailureIsErrorOnceAndFinal)
{
    TransportRig rig;
    auto transport = rig.start();

    EXPECT_FALSE (transport->hasDeadHandle());
    rig.unit->unplug();
    ASSERT_TRUE (rig.events.waitForState (LinkError));
    EXPECT_TRUE (LogCapture::instance().contains ("HID read error: -1"));
    EXPECT_TRUE (transport->hasDeadHandle());

    TransportEvents late;
    (void) transport->setHandler (&late);
    EXPECT_EQ (late.getStates(), std::vector<int> { LinkError });

    transport->start();
    (void) transport->setHandler (nullptr);
    transport.reset();

    EXPECT_EQ (fromFirstUp (rig.events.getStates()), (std::vector<int> { LinkUp, LinkError })) << "no Down after an error";
    EXPECT_EQ (late.getStates(), std::vector<int> { LinkError }) << "start() does not revive it";
}

TEST (PacketIO, WriteFailureCarriesTheFormatAndLogsTheNumber)
{
    TransportRig rig;
    auto transport = rig.start();

    rig.observed.setFailWrites (true);
    const auto message = makeMessage (MESSAGE_CE);
    expectFailure (transport->writePacket (message.data(), message.length), "hid_write failed with %d");
    EXPECT_TRUE (LogCapture::instance().contains ("hid_write failed with -1"));
    EXPECT_EQ (fromFirstUp (rig.events.getStates()), std::vector<int> { LinkUp }) << "a write failure leaves the link alone";
    EXPECT_TRUE (transport->hasDeadHandle()) << "but the handle is gone";

    // A device that takes part of a report has not sent the message either.
    rig.observed.setFailWrites (false);
    rig.observed.setShortWrites (true);
    expectFailure (transport->writePacket (message.data(), message.length), "hid_write incomplete");
    EXPECT_EQ (fromFirstUp (rig.events.getStates()), std::vector<int> { LinkUp });
}
