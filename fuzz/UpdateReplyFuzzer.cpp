// The update server's reply, as the update check takes it: at most 255 bytes
// read, decoded as text, logged with its control characters escaped, parsed.
#include "LatestVersionReply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // A copy of the exact length, so that a read past the bytes is caught.
    const std::vector<std::uint8_t> bytes (data, data + (size < 255 ? size : 255));
    char reply[256];
    decodeLatestVersionReply (bytes.data(), (int) bytes.size(), reply, (int) sizeof (reply));

    for (const char c : escapeControlCharacters (reply))
        if ((unsigned char) c < 0x20 || c == 0x7F)
            std::abort();

    (void) parseLatestVersionReply (reply);
    return 0;
}
