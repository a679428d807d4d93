#include "Application/BundleWriter.h"

#include "Application/OutStreamWrapper.h"

namespace Korvalune
{

struct BundleWriter::Entry
{
    explicit Entry (const juce::String& n) : name (n) {}

    juce::String name;
    juce::MemoryOutputStream data { 256 };
    OutStreamWrapper stream { &data };
};

BundleWriter::BundleWriter() = default;
BundleWriter::~BundleWriter() = default;

IOutputStream& BundleWriter::addEntry (const juce::String& name)
{
    return entries.add (new Entry (name))->stream;
}

juce::Time BundleWriter::zipTimeStamp (juce::Time t)
{
    return { t.getYear(), t.getMonth(), t.getDayOfMonth(), t.getHours(), t.getMinutes(), t.getSeconds() / 2 };
}

Result BundleWriter::write (const juce::File& target) const
{
    // A folder cannot be replaced by renaming a file over it; an empty one
    // holds nothing of the user's and goes, any other refuses the write.
    if (target.isDirectory() && ! target.deleteFile())
        return KORVALUNE_ERROR ("Failed to overwrite file");

    juce::TemporaryFile temporary (target);

    {
        juce::FileOutputStream out (temporary.getFile(), 16384);

        if (out.failedToOpen())
            return KORVALUNE_ERROR ("Failed to overwrite file");

        if (auto r = writeZip (out); ! r.ok)
            return r;
    }

    if (! temporary.overwriteTargetFileWithTemporary())
        return KORVALUNE_ERROR ("Failed to overwrite file");

    return okResult;
}

Result BundleWriter::writeZip (juce::FileOutputStream& out) const
{
    const auto stamp = zipTimeStamp (juce::Time::getCurrentTime());
    juce::ZipFile::Builder builder;

    for (auto* entry : entries)
    {
        auto* bytes = new juce::MemoryInputStream (entry->data.getData(), entry->data.getDataSize(), false);
        builder.addEntry (bytes, 0, entry->name, stamp);
    }

    const bool written = builder.writeToStream (out, nullptr);
    out.flush();   // a failed write of the buffer's last part shows only here

    if (! written || out.getStatus().failed())
        return KORVALUNE_ERROR ("Failed to write zip file");

    return okResult;
}

} // namespace Korvalune
