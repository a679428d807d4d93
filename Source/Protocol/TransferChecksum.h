#pragma once

#include <cstdint>

namespace Korvalune
{

// The 16-bit checksum of block transfers and data-file segments: for each
// byte, rotate the sum right by one bit, then add the byte. Starts at 0.
void updateChecksum (std::uint16_t& sum, const std::uint8_t* data, std::uint32_t count);

} // namespace Korvalune
