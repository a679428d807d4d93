#pragma once

#include "Application/IInputStream.h"
#include "Application/IOutputStream.h"

#include <string>

namespace Korvalune
{

// Longest line readLine accepts; no line of the unit's text formats comes near.
inline constexpr std::size_t maxReadLineLength = 4096;

// Longest text writeLine writes before its line end; longer text is cut.
inline constexpr int maxWriteLineLength = 511;

// Reads one line: "\r" is dropped, "\n" or the end of the stream ends it. At
// the end of the stream the line is empty and the result success; callers
// tell the end with isExhausted(). A line longer than maxReadLineLength fails.
Result readLine (IInputStream& in, std::string& line);

// Writes the formatted text (cut at maxWriteLineLength) and then "\n".
Result writeLine (IOutputStream& out, const char* format, ...) __attribute__ ((format (printf, 2, 3)));

} // namespace Korvalune
