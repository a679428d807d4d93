#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The reply's first `size` bytes as the framework's whole-text read would
// have made them into text (a UTF-8 byte-order mark dropped, UTF-16 behind its
// mark decoded, bytes that are no UTF-8 taken as Windows-1252), written as
// UTF-8 into `text`: as many whole characters as fit in `textSize` bytes with
// the terminating zero.
void decodeLatestVersionReply (const void* bytes, int size, char* text, int textSize);

// The update server's answer: " LATEST_VERSION = a . b . c . d" at its start
// (white space allowed around every sign). Returns the version packed as one
// byte per number, a.b.c.d from the top; numbers that do not parse count 0.
// A reply that does not start with the key, or that holds a number outside
// 0..255, gives 0.0.0.0. `reply` is a zero-terminated text.
std::uint32_t parseLatestVersionReply (const char* reply);

// `reply` fit for one line of the log: control characters (C0, DEL and C1)
// written as escapes such as \n and \x1b, so that what the server sends can
// neither start a line of its own nor command the terminal of a user. Other
// text stays as it is. At most `maxLength` bytes: the text ends before an
// escape or a UTF-8 character that would pass them, never inside one.
std::string escapeControlCharacters (const char* reply, std::size_t maxLength);
