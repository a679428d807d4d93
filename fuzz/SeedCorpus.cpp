// Writes a seed corpus for each fuzz target into the folder given, so the
// fuzzers start from well-formed files instead of from nothing.
#include "Application/OutStreamWrapper.h"
#include "Protocol/KorvaluneDataFile.h"
#include "Widgets/ImagePackFormat.h"

#include <juce_core/juce_core.h>

#include <cstdio>

using namespace Korvalune;

namespace
{
void save (const juce::File& folder, const char* target, const char* name, const juce::MemoryBlock& data)
{
    auto dir = folder.getChildFile (target);
    (void) dir.createDirectory();
    (void) dir.getChildFile (name).replaceWithData (data.getData(), data.getSize());
}

template <typename Writer>
juce::MemoryBlock written (Writer&& write)
{
    juce::MemoryOutputStream memory;
    OutStreamWrapper out (&memory);
    (void) write (out);
    return memory.getMemoryBlock();
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: fuzz_seed_corpus <folder>\n");
        return 2;
    }

    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));

    KorvaluneData::UserCabinetData cabinet;
    cabinet.name = "SEED";
    auto cab = written ([&] (IOutputStream& o) { return writeCabinetFile (cabinet, o, 1); });
    auto glo = written ([&] (IOutputStream& o) { return writeGlobalsFile ({ { 0x200, 0x3f000000 }, { 0x208, 2 } }, o); });
    KorvaluneData::DeviceVersionInfo info;
    info.system = { 1, 0, 3, 0 };
    info.dsp = { 1, 2, 0, 0 };
    auto ver = written ([&] (IOutputStream& o) { return writeArchiveInfo (info, o); });

    save (folder, "fuzz_data_file", "cabinet.cab", cab);
    save (folder, "fuzz_data_file", "globals.glo", glo);
    save (folder, "fuzz_cabinet_file", "cabinet.cab", cab);
    save (folder, "fuzz_globals_file", "globals.glo", glo);
    save (folder, "fuzz_archive_info", "ArchiveInfo.txt", ver);

    std::uint8_t block[KorvaluneData::paramBlockSize];
    (void) KorvaluneData::encodeParams ({ { 0x200, 1 }, { 0x201, 2 } }, block);
    save (folder, "fuzz_codecs", "params.bin", juce::MemoryBlock (block, sizeof (block)));

    const auto pack = writePack ({ { "Background.png", { 0x89, 'P', 'N', 'G' } }, { "CloseOn.png", { 1, 2, 3, 4, 5 } } });
    save (folder, "fuzz_image_pack", "pack.bin", juce::MemoryBlock (pack.data(), pack.size()));
    return 0;
}
