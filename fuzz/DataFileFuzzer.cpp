#include "Application/OutStreamWrapper.h"
#include "FuzzInput.h"
#include "Protocol/KorvaluneDataFile.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    FuzzInput input (data, size);
    Korvalune::KorvaluneDataFile file;

    if (file.read (input.stream()).ok && file.type <= Korvalune::AmpModelFile)
    {
        // Whatever reads must write again.
        juce::MemoryOutputStream memory;
        Korvalune::OutStreamWrapper out (&memory);
        if (! file.write (out).ok)
            __builtin_trap();
    }

    return 0;
}
