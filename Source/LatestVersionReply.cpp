#include "LatestVersionReply.h"

#include "Protocol/LineScanner.h"

#include <cstdio>
#include <cstring>
#include <juce_core/juce_core.h>

void decodeLatestVersionReply (const void* bytes, int size, char* text, int textSize)
{
    // The framework's decoder reads one byte past a text that is empty behind
    // its UTF-8 mark; a std::string keeps a zero there.
    const std::string terminated (static_cast<const char*> (bytes), (std::size_t) juce::jmax (0, size));
    juce::String::createStringFromData (terminated.data(), (int) terminated.size())
        .copyToUTF8 (text, (size_t) textSize);
}

std::uint32_t parseLatestVersionReply (const char* reply)
{
    Korvalune::LineScanner scanner (reply, " LATEST_VERSION = %d . %d . %d . %d");
    std::uint32_t packed = 0;

    for (int i = 0; i < 4; ++i)
    {
        const std::int64_t field = i < scanner.converted() ? scanner.writtenNumber ((std::size_t) i) : 0;

        // Cut to a byte, such a number would name a version nobody released.
        if (field < 0 || field > 255)
            return 0;

        packed = (packed << 8) | (std::uint32_t) field;
    }

    return packed;
}

std::string escapeControlCharacters (const char* reply, std::size_t maxLength)
{
    std::string escaped;
    auto* c = reinterpret_cast<const unsigned char*> (reply);

    while (*c != 0)
    {
        char unit[8] = {};
        int taken = 1;

        if (*c == '\n' || *c == '\r' || *c == '\t')
            std::snprintf (unit, sizeof (unit), "\\%c", *c == '\n' ? 'n' : *c == '\r' ? 'r' : 't');
        else if (*c < 0x20 || *c == 0x7F)
            std::snprintf (unit, sizeof (unit), "\\x%02x", *c);
        else if (*c == 0xC2 && c[1] >= 0x80 && c[1] <= 0x9F) // U+0080..U+009F: a CSI among them
        {
            std::snprintf (unit, sizeof (unit), "\\u%04x", c[1]);
            taken = 2;
        }
        else
        {
            // A whole character: its first byte and the continuation bytes behind it.
            while (taken < 4 && (c[taken] & 0xC0) == 0x80)
                ++taken;

            std::memcpy (unit, c, (std::size_t) taken);
        }

        const auto length = std::strlen (unit);

        if (escaped.size() + length > maxLength)
            break;

        escaped.append (unit, length);
        c += taken;
    }

    return escaped;
}
