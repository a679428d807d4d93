#include "Application/BackupArchive.h"

#include "Application/BundleWriter.h"
#include "Application/InStreamWrapper.h"
#include "Protocol/KorvaluneDataFile.h"
#include "Protocol/Log.h"

#include <algorithm>

namespace Korvalune
{

using namespace KorvaluneData;

namespace
{
constexpr int entryBufferBytes = 16384;

// An entry's bytes as the entry readers see them. Reads pass through while
// the bundle's unpack allowance lasts, so a small entry that inflates without
// end is refused instead of filling memory.
class EntryStream : public IInputStream
{
public:
    EntryStream (juce::InputStream& s, std::size_t& allowance) : source (&s), remaining (allowance) {}

    Result read (void* buffer, int count, int* got) override
    {
        // One byte past the allowance tells an entry that ends right there
        // from one that goes on.
        const auto asked = (int) std::min ((std::size_t) std::max (count, 0), remaining + 1);
        int n = 0;

        if (auto r = source.read (buffer, asked, &n); ! r.ok)
            return r;

        if ((std::size_t) n > remaining)
            return KORVALUNE_ERROR ("Backup file unpacks to more than %d bytes", (int) BackupArchive::maxUnpackedBytes);

        remaining -= (std::size_t) n;
        *got = n;
        return okResult;
    }

    bool isExhausted() override { return source.isExhausted(); }

private:
    InStreamWrapper source;
    std::size_t& remaining;
};

Result readCabinetEntry (IInputStream& in, QuellonArchive& archive)
{
    auto& cabinet = BackupArchive::appendCabinet (archive);

    // The slot comes from the file's index line, not from the entry's name.
    auto index = (std::uint32_t) cabinet.slot;
    const auto r = readCabinetFile (in, cabinet, &index);
    cabinet.slot = (std::int32_t) index;
    return r;
}

Result readEntry (const juce::String& name, IInputStream& in, QuellonArchive& archive)
{
    if (name.endsWithIgnoreCase ("ArchiveInfo.txt"))
    {
        archive.versions = std::make_unique<DeviceVersionInfo>();
        return readArchiveInfo (in, *archive.versions);
    }

    if (name.endsWithIgnoreCase ("VarnelAmp.ldr"))
    {
        archive.firmware = std::make_unique<std::vector<std::uint8_t>>();
        return loadFirmwareImage (in, *archive.firmware);
    }

    if (name.endsWithIgnoreCase (".cab"))
        return readCabinetEntry (in, archive);

    if (name.endsWithIgnoreCase (".glo"))
    {
        archive.globals = std::make_unique<ParamMap>();
        return readGlobalsFile (in, *archive.globals);
    }

    logMessage (LogWarning, "Unrecognized entry in backup archive: '%s'", name.toRawUTF8());
    return okResult;
}

bool isHiddenEntry (const juce::String& name)
{
    return name.startsWith (".") || name.startsWith ("__MACOSX");
}
} // namespace

Result BackupArchive::create (const QuellonArchive& archive, const juce::File& target)
{
    BundleWriter writer;

    if (archive.versions != nullptr)
        if (auto r = writeArchiveInfo (*archive.versions, writer.addEntry ("ArchiveInfo.txt")); ! r.ok)
            return r;

    if (archive.firmware != nullptr)
        if (auto r = writeFirmwareEntry (*archive.firmware, writer.addEntry ("VarnelAmp.ldr")); ! r.ok)
            return r;

    for (const auto& cabinet : archive.cabinets)
    {
        auto& entry = writer.addEntry ("Varnel_Quellon_" + juce::String (cabinet.slot) + ".cab");

        if (auto r = writeCabinetFile (cabinet, entry, (std::uint32_t) cabinet.slot); ! r.ok)
            return r;
    }

    if (archive.globals != nullptr)
        if (auto r = writeGlobalsFile (*archive.globals, writer.addEntry ("Varnel_Korvalune_0.glo")); ! r.ok)
            return r;

    return writer.write (target);
}

Result BackupArchive::load (QuellonArchive& archive, const juce::File& bundle)
{
    // The zip reader takes in the whole central directory, and for a file
    // that is no zip at all the whole file, so its size is checked first.
    if (const auto size = bundle.getSize(); size > maxBundleFileBytes)
        return KORVALUNE_ERROR ("Backup file too large: %lld bytes", (long long) size);

    juce::ZipFile zip (bundle);
    return restore (zip, archive);
}

Result BackupArchive::restore (juce::ZipFile& zip, QuellonArchive& archive)
{
    if (zip.getNumEntries() == 0)
        return KORVALUNE_ERROR ("Not a valid backup file");

    auto allowance = maxUnpackedBytes;

    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        const auto name = zip.getEntry (i)->filename;
        std::unique_ptr<juce::InputStream> stream (zip.createStreamForEntry (i));

        if (stream == nullptr)
        {
            logMessage (LogWarning, "Failed to open stream for archive entry - skipping");
            continue;
        }

        if (isHiddenEntry (name))
            continue;

        // The entry readers take a byte at a time; without a buffer each byte
        // would be a read of the bundle file.
        juce::BufferedInputStream buffered (stream.get(), entryBufferBytes, false);
        EntryStream entry (buffered, allowance);

        if (auto r = readEntry (name, entry, archive); ! r.ok)
            return r;
    }

    return okResult;
}

UserCabinetData& BackupArchive::appendCabinet (QuellonArchive& archive)
{
    return archive.cabinets.emplace_back();
}

} // namespace Korvalune
