#pragma once

#include "Protocol/KorvaluneData.h"

#include <juce_core/juce_core.h>

namespace Korvalune
{

// A backup bundle (".bbu") is a zip of stored entries, one per part of a
// QuellonArchive that is present: "ArchiveInfo.txt", "VarnelAmp.ldr", one
// "Varnel_Quellon_<slot>.cab" per cabinet and "Varnel_Korvalune_0.glo".
// Reading recognises entries by the end of their names, whatever the letter
// case or folder, so bundles repacked by other tools still restore.
//
// Keeps no state; each call works on its own zip and archive.
class BackupArchive
{
public:
    // Bundle files are refused above this size before anything is read.
    static constexpr juce::int64 maxBundleFileBytes = 64 * 1024 * 1024;

    // A bundle may unpack to at most this many bytes over all the entries read;
    // a real one unpacks to well under a megabyte.
    static constexpr std::size_t maxUnpackedBytes = 32 * 1024 * 1024;

    // Writes every part the archive holds into a new bundle at `target`. A
    // part that cannot be encoded fails before the target is touched, and a
    // failed write leaves an existing target as it was.
    static Result create (const KorvaluneData::QuellonArchive& archive, const juce::File& target);

    // Reads the bundle file into `archive`, which should be fresh.
    static Result load (KorvaluneData::QuellonArchive& archive, const juce::File& bundle);

    // Reads every recognised entry of `zip` into `archive`; stops at the first
    // entry that fails to read, leaving the parts read so far.
    static Result restore (juce::ZipFile& zip, KorvaluneData::QuellonArchive& archive);

    // Adds a default cabinet to the archive and returns it.
    static KorvaluneData::UserCabinetData& appendCabinet (KorvaluneData::QuellonArchive& archive);

private:
    BackupArchive() = delete;
};

} // namespace Korvalune
