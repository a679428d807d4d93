// The update server's reply, as the update check takes it: at most 255 bytes
// read, decoded as text, logged with its control characters escaped, parsed.
#include "LatestVersionReply.h"

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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

    (void) parseLatestVersionReply (reply);
    return 0;
}
