#include "LinkTestSupport.h"
#include "Protocol/DeviceMessage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Korvalune;
using linktest::bytes;

namespace
{
std::vector<std::uint8_t> toVector (const DeviceMessage& message)
{
    return { message.data(), message.data() + message.length };
}

struct VersionReply
{
    std::uint8_t bytes[64] = {};
    std::uint8_t system[4] = { 9, 9, 9, 9 };
    std::uint8_t dsp[4] = { 9, 9, 9, 9 };
    std::int32_t subtype = 7;

    explicit VersionReply (std::initializer_list<int> message)
    {
        int i = 0;

        for (int b : message)
            bytes[i++] = (std::uint8_t) b;
    }

    Result parse() { return parseVersionResponse (bytes, system, dsp, subtype); }
};
} // namespace

TEST (DeviceMessage, FramesAreByteExact)
{
    float half = 0.5f;
    std::uint32_t bits;
    std::memcpy (&bits, &half, 4);

    EXPECT_EQ (toVector (makeSetParameter (0x0205, bits)), bytes ({ 0xC7, 8, 0x05, 0x02, 0, 0, 0, 0, 0, 0x3F }));
    EXPECT_EQ (toVector (makeFirmwareStart()), bytes ({ 0xB1, 5, 0x00, 0x33, 0x7C, 0x1A, 0x5E }));
    EXPECT_EQ (toVector (makeReadRequest (CABINET_NAME, 1)), bytes ({ 0xC5, 5, 0x09, 0x01, 0x00, 0x00, 0x00 }));
    EXPECT_EQ (toVector (makeTransferEnd (CABINET_DATA, 2, 0x0400, 0xBEEF)),
               bytes ({ 0xC4, 7, 0x0A, 0x02, 0x00, 0x00, 0x04, 0xEF, 0xBE }));
    EXPECT_EQ (toVector (makeMessage (MESSAGE_CE)), bytes ({ 0xCE, 0 }));

    std::uint8_t payload[62];
    std::memset (payload, 0xAB, sizeof (payload));
    const auto full = makeMessage (TRANSFER_DATA, payload, 62);
    EXPECT_EQ (full.length, 64u);
    EXPECT_EQ (full.bytes[1], 62);
    EXPECT_EQ (full.bytes[63], 0xAB);
}

TEST (DeviceMessage, VersionReplyWithAndWithoutSubtype)
{
    VersionReply seven ({ 0xC0, 7, 0xB5, 1, 2, 3, 4, 5, 6, 2 });
    ASSERT_TRUE (seven.parse().ok);
    EXPECT_EQ (bytes ({ seven.system[0], seven.system[1], seven.system[2], seven.system[3] }), bytes ({ 1, 2, 3, 0 }));
    EXPECT_EQ (bytes ({ seven.dsp[0], seven.dsp[1], seven.dsp[2], seven.dsp[3] }), bytes ({ 4, 5, 6, 0 }));
    EXPECT_EQ (seven.subtype, -1) << "byte 9 is not read with a payload of 7";

    VersionReply two ({ 0xC0, 8, 0xB5, 1, 2, 3, 4, 5, 6, 2 });
    ASSERT_TRUE (two.parse().ok);
    EXPECT_EQ (two.subtype, 2);

    VersionReply three ({ 0xC0, 8, 0xB5, 1, 2, 3, 4, 5, 6, 3 });
    ASSERT_TRUE (three.parse().ok);
    EXPECT_EQ (three.subtype, -1);
}

TEST (DeviceMessage, MalformedVersionReplyLeavesTheRecordAlone)
{
    for (auto reply : { VersionReply ({ 0xC0, 6, 0xB5, 1, 2, 3, 4, 5, 6 }),
                        VersionReply ({ 0xC1, 8, 0xB5, 1, 2, 3, 4, 5, 6, 0 }),
                        VersionReply ({ 0xC0, 8, 0xB4, 1, 2, 3, 4, 5, 6, 0 }) })
    {
        linktest::expectFailure (reply.parse(), "Malformed version response");
        EXPECT_EQ (reply.system[0], 9);
        EXPECT_EQ (reply.dsp[3], 9);
        EXPECT_EQ (reply.subtype, 7);
    }

    EXPECT_TRUE (LogCapture::instance().contains ("Malformed version response"));
}
