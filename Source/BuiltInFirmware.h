#pragma once

#include <cstddef>

// The DSP firmware image built into the program, as an ".ldr" file holds it:
// the placeholder of Resources/Firmware (no real firmware) unless the build
// was pointed at a real image with the CMake cache variable
// QUELLON_FIRMWARE_IMAGE. The build refuses an empty image.
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
