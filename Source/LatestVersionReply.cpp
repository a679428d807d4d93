#include "LatestVersionReply.h"

#include "Protocol/LineScanner.h"

std::uint32_t parseLatestVersionReply (const char* reply)
{
    Korvalune::LineScanner scanner (reply, " LATEST_VERSION = %d . %d . %d . %d");
    std::uint32_t packed = 0;

    for (int i = 0; i < 4; ++i)
    {
        const std::uint32_t field = i < scanner.converted() ? scanner.number ((std::size_t) i) : 0;
        packed = (packed << 8) | (field & 0xFF);
    }

    return packed;
}
