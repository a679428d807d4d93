#include "Protocol/TransferChecksum.h"

namespace Korvalune
{

void updateChecksum (std::uint16_t& sum, const std::uint8_t* data, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i)
    {
        auto rotated = (std::uint16_t) ((sum >> 1) | ((sum & 1u) << 15));
        sum = (std::uint16_t) (rotated + data[i]);
    }
}

} // namespace Korvalune
