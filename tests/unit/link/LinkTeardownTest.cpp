#include "LinkTestSupport.h"

#include <gtest/gtest.h>

#include <future>

using namespace Korvalune;
using namespace linktest;
using Fault = vunit::VirtualUnit::Fault;

// Taking a link apart while the unit or the worker is busy: no crash, no
// hang, no race (the unit tests also run under ThreadSanitizer).

TEST (LinkTeardown, TransportDeletedWhileTheUnitFloods)
{
    for (int round = 0; round < 20; ++round)
    {
        auto unit = std::make_shared<vunit::VirtualUnit> ("virtual:flood");
        vunit::VirtualUnitDevice device (unit);
        ObservedDevice observed (device);
        unit->setFlood (bytes ({ MESSAGE_CE, 0 }));

        auto transport = std::make_unique<KorvaluneUSBPacketIO> (&observed, testReadTimeoutMs);
        auto protocol = std::make_unique<KorvaluneProtocol> (transport.get(), testLimits());
        ASSERT_TRUE (observed.waitForReads (50 + round)) << "the flood is being read";

        protocol.reset();
        transport.reset();
    }

    EXPECT_FALSE (LogCapture::instance().contains ("Unhandled packet!"));
}

TEST (LinkTeardown, HandlerDetachedWhileTheUnitFloods)
{
    auto unit = std::make_shared<vunit::VirtualUnit> ("virtual:flood");
    vunit::VirtualUnitDevice device (unit);
    ObservedDevice observed (device);
    KorvaluneUSBPacketIO transport (&observed, testReadTimeoutMs);
    unit->setFlood (bytes ({ MESSAGE_CF, 8, 1, 2, 3, 4, 5, 6, 7, 8 }));

    for (int round = 0; round < 50; ++round)
    {
        TransportEvents events;
        (void) transport.setHandler (&events);
        ASSERT_TRUE (events.waitForPackets (5));
        (void) transport.setHandler (nullptr);
        const auto seen = events.getPackets().size();
        ASSERT_TRUE (observed.waitForReads (10 * (round + 1)));
        EXPECT_EQ (events.getPackets().size(), seen) << "nothing reaches a detached handler";
    }
}

TEST (LinkTeardown, ProtocolDestroyedWhileARequestWaits)
{
    Link link;
    auto protocol = std::make_unique<KorvaluneProtocol> (&link.transport, testLimits (60000));
    link.unit->addFault (fault (Fault::Kind::Silent, READ_REQUEST));

    const int before = link.observed.getWrites();
    auto outcome = std::async (std::launch::async, [&] {
        KorvaluneData::ParamMap map;
        return protocol->getGlobals (map);
    });

    ASSERT_TRUE (link.observed.waitForWrites (before + 1));
    protocol.reset();

    ASSERT_EQ (outcome.wait_for (deadline), std::future_status::ready);
    auto result = outcome.get();
    EXPECT_FALSE (result.ok);
    EXPECT_TRUE (std::string (result.message) == "Disconnect/error while waiting"
                 || std::string (result.message) == "Invalid state");
}

TEST (LinkTeardown, ProtocolDestroyedInTheMiddleOfALongTransfer)
{
    for (int round = 0; round < 10; ++round)
    {
        Link link;
        auto protocol = std::make_unique<KorvaluneProtocol> (&link.transport, testLimits (60000));
        const std::vector<std::uint8_t> image (62 * 4000, 0x55);

        const int before = link.observed.getWrites();
        auto outcome = std::async (std::launch::async, [&] { return protocol->updateFirmware (image, {}); });

        ASSERT_TRUE (link.observed.waitForWrites (before + 20 + 37 * round));
        protocol.reset();

        ASSERT_EQ (outcome.wait_for (deadline), std::future_status::ready);
        EXPECT_FALSE (outcome.get().ok);
    }
}

TEST (LinkTeardown, ManyExchangesWithRepliesRacingTheirSenders)
{
    // With no wire time the reply is often in before the sender returns.
    Link link;

    for (int i = 0; i < 2000; ++i)
    {
        bool accepted = false;
        ASSERT_TRUE (link.protocol.requestConnection (accepted).ok);
        ASSERT_TRUE (accepted);
    }

    EXPECT_FALSE (LogCapture::instance().contains ("Unhandled packet!"));
}
