#pragma once

// The hidapi shim's bus, for tests that link the shim in hidapi's place:
// control commands run in-process, and the frames a unit received.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

extern "C" int quellon_vbus_command (const char* line, char* reply, size_t replySize);

namespace shimbus
{
// Runs one control command; an "ERR" answer fails the test. The answer's data
// lines, then "OK".
inline std::string vbus (const std::string& line)
{
    char reply[1 << 16];
    const int status = quellon_vbus_command (line.c_str(), reply, sizeof (reply));
    EXPECT_EQ (status, 0) << line << " -> " << reply;
    return reply;
}

// The frames unit `id` received, by their type byte.
inline int framesOfType (const std::string& id, int type)
{
    char prefix[4];
    std::snprintf (prefix, sizeof (prefix), "%02x", type);
    std::istringstream lines (vbus ("frames " + id));
    int count = 0;

    for (std::string number, hex; lines >> number >> hex;)
        count += hex.rfind (prefix, 0) == 0 ? 1 : 0;

    return count;
}
} // namespace shimbus
