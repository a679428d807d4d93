#include "BusControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

using namespace vunit;

namespace
{
struct Bus
{
    VirtualBus bus;
    BusControl control { bus };

    std::string run (const std::string& line) { return control.execute (line); }

    void ok (const std::string& line) { ASSERT_EQ (run (line), "OK\n") << line; }
};

bool hasLine (const std::string& text, const std::string& line)
{
    return ("\n" + text).find ("\n" + line + "\n") != std::string::npos;
}
} // namespace

TEST (BusControl, PlugListAndStatus)
{
    Bus b;
    b.ok ("plug u1");
    b.ok ("plug u2 path=/dev/x vid=0x1234 pid=0x3c dsp=1.1.7 subtype=none wire-us=1000");

    EXPECT_EQ (b.run ("list"), "u1 present virtual:u1 vid=0x04d8 pid=0x003f\n"
                               "u2 present /dev/x vid=0x1234 pid=0x003c\nOK\n");

    const auto status = b.run ("status u2");
    EXPECT_TRUE (hasLine (status, "dsp=1.1.7")) << status;
    EXPECT_TRUE (hasLine (status, "subtype=none"));
    EXPECT_TRUE (hasLine (status, "wire-us=1000"));

    b.ok ("unplug u1");
    EXPECT_TRUE (hasLine (b.run ("list"), "u1 absent virtual:u1 vid=0x04d8 pid=0x003f"));
    ASSERT_EQ (b.bus.enumerate().size(), 1u);

    b.ok ("plug u1 dsp=1.3.0");
    EXPECT_TRUE (hasLine (b.run ("status u1"), "dsp=1.3.0")) << "plugging again keeps the unit, new settings apply";
    b.ok ("remove u1");
    b.ok ("reset");
    EXPECT_EQ (b.run ("list"), "OK\n");
}

TEST (BusControl, MistakesAreAnsweredWithErr)
{
    Bus b;
    b.ok ("plug u1");

    const char* bad[] = {
        "",
        "frobnicate",
        "status nobody",
        "set u1 dsp=1.2",
        "set u1 colour=red",
        "set u1 vid=70000",
        "fault u1 explode",
        "fault u1 nack at",
        "cabinet-name u1 3",
        "set-global u1 0x200",
        "flood u1 abc",
        "wait u1 sideways",
        "set-cabinet-name u1 0 bad\\q",
        "replug u1 gap=5",
        "replug nobody",
    };

    for (auto* line : bad)
    {
        const auto reply = b.run (line);
        EXPECT_EQ (reply.rfind ("ERR ", 0), 0u) << line << " -> " << reply;
        EXPECT_EQ (reply.find ('\n'), reply.size() - 1) << "one line";
    }
}

TEST (BusControl, StateCanBeSetAndReadBack)
{
    Bus b;
    b.ok ("plug u1");
    b.ok ("set-global u1 0x205 0x3f000000");
    EXPECT_TRUE (hasLine (b.run ("globals u1"), "0x00000205 0x3f000000"));

    b.ok ("set-cabinet-name u1 2 Big  Box \\x01\\\\");
    EXPECT_EQ (b.bus.find ("u1")->getCabinet (2).name, "Big  Box \x01\\");
    EXPECT_EQ (b.run ("cabinet-name u1 2"), "Big  Box \\x01\\\\\nOK\n");

    b.ok ("set-cabinet-words u1 0 0x3f800000 7");
    const auto words = b.run ("cabinet-words u1 0");
    EXPECT_EQ (words.substr (0, 22), "0x3f800000 0x00000007 ");
    EXPECT_EQ (std::count (words.begin(), words.end(), '\n'), 129);

    EXPECT_EQ (b.run ("firmware u1"), "size=0\nchecksum=0x0000\nupdates=0\nOK\n");
}

TEST (BusControl, FramesAndFaultsThroughTheUnit)
{
    Bus b;
    b.ok ("plug u1");
    b.ok ("fault u1 nack type=0xb4 times=2");
    EXPECT_TRUE (hasLine (b.run ("status u1"), "faults=1"));

    auto device = b.bus.open ("virtual:u1");
    ASSERT_NE (device, nullptr);
    const std::uint8_t request[] = { 0, 0xB4, 0 };
    ASSERT_EQ (device->write (request, sizeof (request)), 3);

    std::uint8_t reply[64];
    ASSERT_EQ (device->read (reply, sizeof (reply), 5000), 64);
    EXPECT_EQ (reply[0], 0xC1);
    EXPECT_EQ (b.run ("frames u1"), "1 b400\nOK\n");
    b.ok ("clear-frames u1");
    EXPECT_EQ (b.run ("frames u1"), "OK\n");
}

TEST (BusControl, WaitEndsWithThePresenceOrTimesOut)
{
    Bus b;
    b.ok ("plug u1");
    b.ok ("wait u1 present timeout-ms=0");
    EXPECT_EQ (b.run ("wait u1 absent timeout-ms=20"), "ERR timed out\n");
}

TEST (BusControl, EscapesRoundTrip)
{
    std::string all;

    for (int c = 0; c < 256; ++c)
        all += (char) c;

    const auto escaped = BusControl::escape (all);
    EXPECT_EQ (escaped.find ('\n'), std::string::npos);
    EXPECT_EQ (BusControl::unescape (escaped), all);
}

//==============================================================================
