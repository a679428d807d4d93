#include "Protocol/AudioFileReader.h"
#include "Protocol/UserCabinetImporter.h"

#include <juce_core/juce_core.h>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    juce::MemoryInputStream in (data, size, false);
    Korvalune::DecodedAudio audio;
    (void) Korvalune::readAiff (in, audio, Korvalune::UserCabinetImporter::maxDecodedFrames);
    return 0;
}
