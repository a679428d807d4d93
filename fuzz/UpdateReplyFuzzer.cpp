// The update server's reply, as the update check takes it: at most 255 bytes
// read, decoded as text, logged with its control characters escaped, parsed
// (and the parse compared with a second reading of the reply).
#include "LatestVersionReply.h"

#include <juce_core/juce_core.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// The reply read a second way, with the C library's number parsing: the key,
// then up to four numbers, each from 0 to 255, or nothing at all.
std::uint32_t libraryReading (const char* text)
{
    const auto skipSpace = [&] { while (std::isspace ((unsigned char) *text)) ++text; };

    skipSpace();

    if (std::strncmp (text, "LATEST_VERSION", 14) != 0)
        return 0;

    text += 14;
    skipSpace();

    if (*text++ != '=')
        return 0;

    std::uint32_t fields[4] = {};

    for (int i = 0; i < 4; ++i)
    {
        char* end = nullptr;
        errno = 0;
        const long long number = std::strtoll (text, &end, 10);

        if (end == text)
            break;

        if (errno == ERANGE || number < 0 || number > 255)
            return 0;

        fields[i] = (std::uint32_t) number;
        text = end;
        skipSpace();

        if (*text++ != '.')
            break;
    }

    return fields[0] << 24 | fields[1] << 16 | fields[2] << 8 | fields[3];
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // A copy of the exact length, so that a read past the bytes is caught.
    const std::vector<std::uint8_t> bytes (data, data + (size < 255 ? size : 255));
    char reply[256];
    decodeLatestVersionReply (bytes.data(), (int) bytes.size(), reply, (int) sizeof (reply));

    const auto escaped = escapeControlCharacters (reply, SIZE_MAX);

    for (const char c : escaped)
        if ((unsigned char) c < 0x20 || c == 0x7F)
            std::abort();

    // Cut short, the text is the start of the whole one, and as much UTF-8.
    const auto validUTF8 = [] (const std::string& text)
    { return juce::CharPointer_UTF8::isValidString (text.c_str(), (int) text.size()); };
    const std::size_t bound = bytes.size() / 3;
    const auto cut = escapeControlCharacters (reply, bound);

    if (cut.size() > bound || escaped.compare (0, cut.size(), cut) != 0
        || (validUTF8 (escaped) && ! validUTF8 (cut)))
        std::abort();

    if (parseLatestVersionReply (reply) != libraryReading (reply))
        std::abort();

    return 0;
}
