#include "FuzzInput.h"
#include "Protocol/KorvaluneDataFile.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    FuzzInput input (data, size);
    Korvalune::KorvaluneData::UserCabinetData cabinet;
    uint32_t index = 0;
    (void) Korvalune::readCabinetFile (input.stream(), cabinet, &index);
    return 0;
}
