#pragma once

#include <cstddef>

// The DSP firmware image built into the program, as an ".ldr" file holds it.
// The editor carries the maker's image only when the build names one in the
// CMake cache variable QUELLON_FIRMWARE_IMAGE; otherwise it carries none and
// getSize() is 0 (NoBuiltInFirmware.cpp). Tests link the placeholder of
// Resources/Firmware instead, which is no firmware.
//
// Constant data, readable from any thread for the life of the program.
class BuiltInFirmware
{
public:
    static const void* getData();
    static std::size_t getSize();

private:
    BuiltInFirmware() = delete;
};
