#include "FuzzInput.h"
#include "Protocol/KorvaluneDataFile.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    FuzzInput input (data, size);
    Korvalune::KorvaluneData::DeviceVersionInfo info;
    (void) Korvalune::readArchiveInfo (input.stream(), info);
    return 0;
}
