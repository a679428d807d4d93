// The update server's reply, as the update check reads it: at most 255 bytes,
// cut at the first zero.
#include "LatestVersionReply.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    char reply[256];
    const std::size_t length = size < 255 ? size : 255;
    std::memcpy (reply, data, length);
    reply[length] = 0;
    (void) parseLatestVersionReply (reply);
    return 0;
}
