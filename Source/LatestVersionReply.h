#pragma once

#include <cstdint>

// The update server's answer: " LATEST_VERSION = a . b . c . d" at its start
// (white space allowed around every sign). Returns the version packed as one
// byte per number, a.b.c.d from the top; numbers count with their low eight
// bits, numbers that do not parse count 0, and a reply that does not start
// with the key gives 0.0.0.0. `reply` is a zero-terminated text.
std::uint32_t parseLatestVersionReply (const char* reply);
