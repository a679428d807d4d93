#include "LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>

using namespace Korvalune;
using namespace linktest;
using Fault = vunit::VirtualUnit::Fault;

namespace
{
const std::vector<std::uint8_t> ackOrNack { ACK, NACK };

struct Reply
{
    Reply() { std::memset (bytes, 0xEE, sizeof (bytes)); }

    std::uint8_t bytes[64];
    KorvaluneProtocol::ReplyBuffer buffer { bytes, sizeof (bytes) };
};

// A sender that writes one message through the link's transport.
KorvaluneProtocol::Sender writing (Link& link, const DeviceMessage& message)
{
    return [&link, message] (int) { return link.transport.writePacket (message.data(), message.length); };
}

// A sender that, instead of writing, delivers `packet` itself, as the read
// thread would if the reply beat the sender's return.
KorvaluneProtocol::Sender delivering (KorvaluneProtocol& protocol, std::vector<std::uint8_t> packet)
{
    return [&protocol, packet] (int) {
        protocol.handlePacket (packet.data(), (unsigned) packet.size());
        return okResult;
    };
}
} // namespace

TEST (ProtocolCore, RequestOutsideUpSendsNothing)
{
    Link link;

    for (int state : { 0, 2 })
    {
        link.protocol.handleLinkState (state);
        Reply reply;
        bool replied = true;
        expectFailure (link.protocol.sendAndWait (reply.buffer, ackOrNack, 1000, &replied,
                                                  writing (link, makeMessage (CONNECT_REQUEST))),
                       "Invalid state");
        EXPECT_FALSE (replied);
    }

    EXPECT_TRUE (link.frames().empty());
}

TEST (ProtocolCore, ReplyBeforeTheSenderReturnsIsTakenAtOnce)
{
    Link link (vunit::UnitSettings(), testLimits (60000));
    Reply reply;
    bool replied = false;

    const auto start = std::chrono::steady_clock::now();
    auto result = link.protocol.sendAndWait (reply.buffer, ackOrNack, 60000, &replied,
                                             delivering (link.protocol, bytes ({ ACK, 1, 0x42 })));
    ASSERT_TRUE (result.ok);
    EXPECT_TRUE (replied);
    EXPECT_LT (std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ (bytes ({ reply.bytes[0], reply.bytes[1], reply.bytes[2], reply.bytes[3] }),
               bytes ({ ACK, 1, 0x42, 0xEE }));
}

TEST (ProtocolCore, ReportLongerThanItsMessageIsCutToTheMessage)
{
    Link link;
    std::vector<std::uint8_t> report (64, 0x77);
    report[0] = ACK;
    report[1] = 2;

    Reply reply;
    bool replied = false;
    ASSERT_TRUE (link.protocol.sendAndWait (reply.buffer, ackOrNack, 1000, &replied, delivering (link.protocol, report)).ok);
    EXPECT_EQ (bytes ({ reply.bytes[0], reply.bytes[1], reply.bytes[2], reply.bytes[3], reply.bytes[4] }),
               bytes ({ ACK, 2, 0x77, 0x77, 0xEE }))
        << "four bytes taken, the other 60 ignored";
}

TEST (ProtocolCore, BrokenReportsBreakAnUpLinkOnlyAndTellTheHandlerOnce)
{
    Link link;
    const auto before = link.events.getStates().size();

    // With no request waiting, nothing else would ever tell of it.
    const auto mismatch = bytes ({ ACK, 5, 0 });
    link.protocol.handlePacket (mismatch.data(), 3);
    EXPECT_TRUE (LogCapture::instance().contains ("Packet/msg length mismatch! (3 != 7)"));
    EXPECT_EQ (link.protocol.getLinkState(), LinkError);
    EXPECT_EQ (link.events.getStates().size(), before + 1);
    EXPECT_EQ (link.events.getStates().back(), LinkError);

    link.protocol.handlePacket (mismatch.data(), 1);
    EXPECT_EQ (link.events.getStates().size(), before + 1) << "a link already broken is not reported again";

    link.protocol.handleLinkState (LinkUp);
    link.protocol.handlePacket (mismatch.data(), 1);
    EXPECT_TRUE (LogCapture::instance().contains ("Short packet/msg!"));
    EXPECT_EQ (link.protocol.getLinkState(), LinkError);
    EXPECT_EQ (link.events.getStates().back(), LinkError);

    link.protocol.handleLinkState (LinkDown);
    link.protocol.handlePacket (mismatch.data(), 1);
    EXPECT_EQ (link.protocol.getLinkState(), LinkDown);
    EXPECT_EQ (link.events.getStates().back(), LinkDown);
}

TEST (ProtocolCore, UnexpectedMessagesAreDroppedAndOnlySomeLogged)
{
    Link link;

    const auto ce = bytes ({ MESSAGE_CE, 0 });
    const auto cf8 = bytes ({ MESSAGE_CF, 8, 1, 2, 3, 4, 5, 6, 7, 8 });
    const auto cf7 = bytes ({ MESSAGE_CF, 7, 1, 2, 3, 4, 5, 6, 7 });

    link.protocol.handlePacket (ce.data(), (unsigned) ce.size());
    link.protocol.handlePacket (cf8.data(), (unsigned) cf8.size());
    EXPECT_TRUE (LogCapture::instance().lines().empty());

    link.protocol.handlePacket (cf7.data(), (unsigned) cf7.size());
    EXPECT_EQ (LogCapture::instance().lines(), std::vector<std::string> { "WARNING: Unhandled packet!" });
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp);
}

TEST (ProtocolCore, ReplyLongerThanTheBufferEndsTheRequestUncopied)
{
    Link link;
    std::uint8_t small[4];
    std::memset (small, 0xEE, sizeof (small));
    KorvaluneProtocol::ReplyBuffer buffer { small, sizeof (small) };
    bool replied = false;

    expectFailure (link.protocol.sendAndWait (buffer, ackOrNack, 1000, &replied,
                                              delivering (link.protocol, bytes ({ ACK, 4, 1, 2, 3, 4 }))),
                   "Buffer too small: %d > %d");
    EXPECT_TRUE (replied);
    EXPECT_TRUE (LogCapture::instance().contains ("Buffer too small: 6 > 4"));
    EXPECT_EQ (bytes ({ small[0], small[1], small[2], small[3] }), bytes ({ 0xEE, 0xEE, 0xEE, 0xEE }));
}

TEST (ProtocolCore, SilenceIsNoReplyForSendAndWaitAndTimeoutForSendRequest)
{
    Link link (vunit::UnitSettings(), testLimits (150));
    link.unit->addFault (fault (Fault::Kind::Silent, -1, 1, 0));

    Reply reply;
    bool replied = true;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE (link.protocol.sendAndWait (reply.buffer, ackOrNack, 100, &replied,
                                            writing (link, makeMessage (CONNECT_REQUEST))).ok);
    EXPECT_FALSE (replied);
    EXPECT_GE (std::chrono::steady_clock::now() - start, 100ms);

    expectFailure (link.protocol.sendRequest (reply.buffer, ackOrNack, writing (link, makeMessage (CONNECT_REQUEST))),
                   "Timeout");
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp) << "the core leaves marking to the operations";
}

TEST (ProtocolCore, FailedSenderIsTheOutcomeAndTheNextRequestWorks)
{
    Link link;
    Reply reply;
    bool replied = false;

    link.observed.setFailWrites (true);
    expectFailure (link.protocol.sendAndWait (reply.buffer, ackOrNack, 1000, &replied,
                                              writing (link, makeMessage (CONNECT_REQUEST))),
                   "hid_write failed with %d");

    link.observed.setFailWrites (false);
    ASSERT_TRUE (link.protocol.sendAndWait (reply.buffer, ackOrNack, 10000, &replied,
                                            writing (link, makeMessage (CONNECT_REQUEST))).ok);
    EXPECT_TRUE (replied);
    EXPECT_EQ (reply.bytes[0], ACK);
}

namespace
{
// Runs one silent request on another thread; `sent` is ready once the
// request is written and waiting (or about to wait).
struct WaitingRequest
{
    WaitingRequest (Link& link, std::uint32_t limitMs)
    {
        link.unit->addFault (fault (Fault::Kind::Silent, -1, 1, 0));
        outcome = std::async (std::launch::async, [this, &link, limitMs] {
            Reply reply;
            bool replied = false;
            auto result = link.protocol.sendAndWait (reply.buffer, ackOrNack, limitMs, &replied, [&] (int) {
                auto message = makeMessage (CONNECT_REQUEST);
                auto written = link.transport.writePacket (message.data(), message.length);
                sent.set_value();
                return written;
            });
            return std::make_pair (result, replied);
        });
        sent.get_future().wait();
    }

    std::promise<void> sent;
    std::future<std::pair<Result, bool>> outcome;
};
} // namespace

TEST (ProtocolCore, LinkErrorWakesAWaitingRequest)
{
    Link link;
    WaitingRequest request (link, 60000);

    link.protocol.handleLinkState (5);
    ASSERT_EQ (request.outcome.wait_for (deadline), std::future_status::ready);
    auto [result, replied] = request.outcome.get();
    expectFailure (result, "Disconnect/error while waiting");
    EXPECT_FALSE (replied);
    EXPECT_EQ (link.events.getStates().back(), LinkError);
}

TEST (ProtocolCore, TransportLosingTheUnitEndsAWaitingRequest)
{
    Link link;
    WaitingRequest request (link, 60000);

    link.unit->unplug();
    ASSERT_EQ (request.outcome.wait_for (deadline), std::future_status::ready);
    expectFailure (request.outcome.get().first, "Disconnect/error while waiting");
    EXPECT_EQ (link.protocol.getLinkState(), LinkError);
}

TEST (ProtocolCore, UpWhileWaitingStartsAFullWaitAgain)
{
    Link link;
    const auto start = std::chrono::steady_clock::now();
    WaitingRequest request (link, 400);

    // Deliberately late: the wait restarted at this point must run its whole limit.
    std::this_thread::sleep_for (250ms);
    const auto woken = std::chrono::steady_clock::now();
    link.protocol.handleLinkState (LinkUp);

    ASSERT_EQ (request.outcome.wait_for (deadline), std::future_status::ready);
    auto [result, replied] = request.outcome.get();
    EXPECT_TRUE (result.ok);
    EXPECT_FALSE (replied);
    EXPECT_GE (std::chrono::steady_clock::now() - woken, 400ms);
    EXPECT_GE (std::chrono::steady_clock::now() - start, 650ms);
}

TEST (ProtocolCore, MarkAndClearOnlyMoveBetweenUpAndError)
{
    Link link;

    link.protocol.handleLinkState (LinkDown);
    link.protocol.markLinkError();
    EXPECT_EQ (link.protocol.getLinkState(), LinkDown);
    link.protocol.clearError();
    EXPECT_EQ (link.protocol.getLinkState(), LinkDown);

    link.protocol.handleLinkState (LinkUp);
    link.protocol.markLinkError();
    EXPECT_EQ (link.protocol.getLinkState(), LinkError);
    link.protocol.clearError();
    EXPECT_EQ (link.protocol.getLinkState(), LinkUp);
}

TEST (ProtocolCore, HandlerHearsEveryReportButNotItsOwnAttachment)
{
    ProtocolEvents second; // outlives the protocol it is attached to
    Link link;
    link.protocol.markLinkError();

    (void) link.protocol.setHandler (&second);
    EXPECT_TRUE (second.getStates().empty()) << "setHandler does not report the state";

    link.protocol.handleLinkState (LinkUp);
    link.protocol.handleLinkState (LinkUp);
    link.protocol.handleLinkState (7);
    EXPECT_EQ (second.getStates(), (std::vector<int> { LinkUp, LinkUp, LinkError }));
}
