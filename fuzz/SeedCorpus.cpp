// Writes a seed corpus for each fuzz target into the folder given, so the
// fuzzers start from well-formed files instead of from nothing.
#include "Application/BackupArchive.h"
#include "Application/OutStreamWrapper.h"
#include "Protocol/KorvaluneDataFile.h"
#include "ProtocolScript.h"
#include "Widgets/ImagePackFormat.h"

#include "support/AudioFiles.h"

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
juce::MemoryBlock bytesOf (const std::string& bytes)
{
    return { bytes.data(), bytes.size() };
}

void saveAudioSeeds (const juce::File& folder)
{
    using namespace AudioFiles;

    AudioFiles::WavFormat stereo;
    stereo.channels = 2;
    save (folder, "fuzz_wav_reader", "stereo16.wav", bytesOf (wav (stereo, integerSamples (impulseValues (64, 2, 16), 16, false))));

    AudioFiles::WavFormat extensible;
    extensible.tag = 65534;
    extensible.subFormat = 3;
    extensible.bits = 32;
    extensible.rate = 96000;
    save (folder, "fuzz_wav_reader", "float.wav", bytesOf (wav (extensible, floatSamples ({ 1.0f, 0.5f, -0.25f }))));

    const auto chunks = Bytes (false).chunk ("junk", "odd").chunk ("fmt ", wavFmtBody ({})).chunk ("data", "\1\2\3\4").data;
    save (folder, "fuzz_wav_reader", "chunks.wav", bytesOf (wavFile (chunks)));

    save (folder, "fuzz_aiff_reader", "stereo24.aif", bytesOf (aiff (2, 24, 44100, impulseValues (64, 2, 24))));
    save (folder, "fuzz_aiff_reader", "mono8.aif", bytesOf (aiff (1, 8, 192000, impulseValues (16, 1, 8))));
}

void saveBundleSeeds (const juce::File& folder, const juce::MemoryBlock& cab, const juce::MemoryBlock& glo,
                      const juce::MemoryBlock& ver)
{
    KorvaluneData::QuellonArchive archive;
    archive.versions = std::make_unique<KorvaluneData::DeviceVersionInfo>();
    archive.firmware = std::make_unique<std::vector<std::uint8_t>> (std::vector<std::uint8_t> { 1, 2, 3 });
    archive.globals = std::make_unique<KorvaluneData::ParamMap> (KorvaluneData::ParamMap { { 0x200, 7 } });
    auto dir = folder.getChildFile ("fuzz_backup_restore");
    (void) dir.createDirectory();
    (void) BackupArchive::create (archive, dir.getChildFile ("stored.bbu"));

    // Deflated, in folders, as other tools pack bundles.
    juce::ZipFile::Builder builder;
    const auto now = juce::Time::getCurrentTime();
    builder.addEntry (new juce::MemoryInputStream (ver, false), 9, "Backup/ArchiveInfo.txt", now);
    builder.addEntry (new juce::MemoryInputStream (cab, false), 9, "Backup/Varnel_Quellon_1.cab", now);
    builder.addEntry (new juce::MemoryInputStream (glo, false), 9, "Backup/VARNEL_KORVALUNE_0.GLO", now);
    builder.addEntry (new juce::MemoryInputStream ("x", 1, false), 0, "__MACOSX/._x", now);
    juce::MemoryOutputStream zip;
    (void) builder.writeToStream (zip, nullptr);
    save (folder, "fuzz_backup_restore", "deflated.bbu", zip.getMemoryBlock());
}
// Conversations of a well-behaved unit for the protocol fuzzer, and its
// version reply.
void saveProtocolSeeds (const juce::File& folder)
{
    using namespace ProtocolScript;
    auto saveScript = [&] (const char* name, const std::vector<std::uint8_t>& script) {
        save (folder, "fuzz_protocol_packets", name, juce::MemoryBlock (script.data(), script.size()));
    };

    std::vector<std::uint8_t> read { getGlobals, 0 };
    addReply (read, { 0xC2, 0 });

    for (int sent = 0; sent < 1024; sent += 62)
    {
        std::vector<std::uint8_t> data { 0xC3, (std::uint8_t) std::min (62, 1024 - sent) };
        data.resize (data[1] + 2u, 0xFF);
        addReply (read, data);
    }

    addReply (read, { 0xC4, 7, 1, 0, 0, 0, 1, 0, 0 });
    saveScript ("globals.bin", read);

    std::vector<std::uint8_t> write { setCabinetName, 5 };

    for (int i = 0; i < 19; ++i)
        addReply (write, { 0xC0, 0 });

    saveScript ("name.bin", write);

    const std::vector<std::uint8_t> versionReply { 0xC0, 8, 0xB5, 1, 0, 3, 1, 2, 0, 1 };
    std::vector<std::uint8_t> version { requestVersion, 0 };
    addReply (version, versionReply);
    saveScript ("version.bin", version);
    save (folder, "fuzz_version_response", "reply.bin", juce::MemoryBlock (versionReply.data(), versionReply.size()));

    std::vector<std::uint8_t> firmware { updateFirmware, 20 };

    for (int i = 0; i < 4; ++i)
        addReply (firmware, { 0xC0, 1, 0xB2 });

    saveScript ("firmware.bin", firmware);
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

    save (folder, "fuzz_update_reply", "reply.txt", bytesOf ("LATEST_VERSION = 1.2.0.2\n"));
    save (folder, "fuzz_update_reply", "out-of-range.txt", bytesOf ("LATEST_VERSION = 1.256.0.-1 4294967297\n"));
    save (folder, "fuzz_update_reply", "utf8-mark.txt", bytesOf ("\xef\xbb\xbfLATEST_VERSION=1.2.0.2\x1b[0m"));
    save (folder, "fuzz_update_reply", "utf8-mark-only.txt", bytesOf ("\xef\xbb\xbf"));
    const char utf16[] = { '\xff', '\xfe', 'L', 0, '=', 0, '1', 0, '.', 0, '\n', 0 };
    save (folder, "fuzz_update_reply", "utf16le-mark.txt", bytesOf (std::string (utf16, sizeof (utf16))));

    saveAudioSeeds (folder);
    saveBundleSeeds (folder, cab, glo, ver);
    saveProtocolSeeds (folder);
    return 0;
}
