#include "Application/BackupArchive.h"
#include "Protocol/Log.h"

#include <juce_core/juce_core.h>

// Any bytes as a bundle file: the zip reader and then every entry reader.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    Korvalune::setLogSink ([] (void*, const char*) {}, nullptr);

    juce::ZipFile zip (new juce::MemoryInputStream (data, size, false), true);
    Korvalune::KorvaluneData::QuellonArchive archive;
    (void) Korvalune::BackupArchive::restore (zip, archive);
    return 0;
}
