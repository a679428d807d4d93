#include "FuzzInput.h"
#include "Protocol/KorvaluneDataFile.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    FuzzInput input (data, size);
    Korvalune::KorvaluneData::ParamMap params;
    (void) Korvalune::readGlobalsFile (input.stream(), params);
    return 0;
}
