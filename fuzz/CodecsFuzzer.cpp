#include "Protocol/KorvaluneData.h"

#include <cstring>
#include <vector>

// Parameter and name blocks as they come from the unit: any bytes at all.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    using namespace Korvalune::KorvaluneData;

    ParamMap params;
    (void) decodeParams (data, size, params);

    // One entry per whole 8 bytes at most, whatever the bytes say.
    if (params.size() > size / 8)
        __builtin_trap();

    std::vector<uint8_t> block (nameBlockSize, 0);
    if (size > 0)
        std::memcpy (block.data(), data, std::min (size, nameBlockSize));
    const auto name = unpackName (block.data());

    std::vector<uint8_t> again (nameBlockSize);
    encodeName (name, again.data());
    if (unpackName (again.data()) != name)
        __builtin_trap();

    return 0;
}
