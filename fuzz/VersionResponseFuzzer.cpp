// The version reply as the unit may send it: any 64 bytes.

#include "Protocol/DeviceMessage.h"
#include "Protocol/Log.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    Korvalune::setLogSink ([] (void*, const char*) {}, nullptr);

    // The reply buffer every request uses, on the heap so reading past it is caught.
    std::vector<std::uint8_t> reply (64, 0);
    std::memcpy (reply.data(), data, std::min<std::size_t> (size, reply.size()));

    std::uint8_t system[4] = { 7, 7, 7, 7 };
    std::uint8_t dsp[4] = { 7, 7, 7, 7 };
    std::int32_t subtype = 9;
    const auto result = Korvalune::parseVersionResponse (reply.data(), system, dsp, subtype);

    if (result.ok)
    {
        if (system[3] != 0 || dsp[3] != 0 || subtype < -1 || subtype > 2)
            __builtin_trap();
    }
    else if (system[0] != 7 || dsp[3] != 7 || subtype != 9)
    {
        __builtin_trap();
    }

    return 0;
}
