#include "Protocol/Log.h"
#include "Widgets/ImagePackFormat.h"

#include <cstdint>

// An image pack as any bytes at all: its directory either is refused or
// names only bytes within the block.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    Korvalune::setLogSink ([] (void*, const char*) {}, nullptr);

    if (size > 0xFFFFFFFFu)
        return 0;

    PackDirectory directory;
    const auto reader = makeMemoryPackReader (data, size);
    if (! readPackDirectory (reader, (std::uint32_t) size, directory).ok)
    {
        if (! directory.empty())
            __builtin_trap();
        return 0;
    }

    std::vector<std::uint8_t> body;
    for (const auto& [name, entry] : directory)
    {
        if (std::uint64_t (entry.dataOffset) + entry.dataSize > size || name.size() != entry.nameLength)
            __builtin_trap();

        body.resize (entry.dataSize);
        if (entry.dataSize > 0 && ! reader (entry.dataOffset, entry.dataSize, body.data()))
            __builtin_trap();
    }

    return 0;
}
