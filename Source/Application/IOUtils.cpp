#include "Application/IOUtils.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace Korvalune
{

Result readLine (IInputStream& in, std::string& line)
{
    line.clear();

    for (;;)
    {
        char byte = 0;
        int got = 0;

        if (auto r = in.read (&byte, 1, &got); ! r.ok)
            return r;

        if (got == 0 || byte == '\n')
            return okResult;

        if (byte == '\r')
            continue;

        if (line.size() >= maxReadLineLength)
            return KORVALUNE_ERROR ("Line too long");

        line.push_back (byte);
    }
}

Result writeLine (IOutputStream& out, const char* format, ...)
{
    char text[maxWriteLineLength + 1];

    va_list args;
    va_start (args, format);
    const int formatted = std::vsnprintf (text, sizeof (text), format, args);
    va_end (args);

    const auto length = (std::size_t) std::clamp (formatted, 0, maxWriteLineLength);

    if (auto r = out.write (text, length); ! r.ok)
        return r;

    return out.write ("\n", 1);
}

} // namespace Korvalune
