#pragma once

#include <cstdint>

// A global parameter of the unit, by its number (0x200 to 0x208). The system
// refers to every parameter by its number alone, so the type has no names.
enum QuellonParamID : std::uint32_t
{
};
