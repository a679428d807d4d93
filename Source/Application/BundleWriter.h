#pragma once

#include "Application/IOutputStream.h"

#include <juce_core/juce_core.h>

namespace Korvalune
{

// Collects the entries of a backup bundle in memory and writes them as one zip
// file of stored (uncompressed) entries.
//
// Owns: its entries, each an in-memory buffer with the IOutputStream that
// addEntry hands out; those streams live as long as the writer.
// Threads: one at a time (the backup completion runs on the task-queue worker).
class BundleWriter
{
public:
    BundleWriter();
    ~BundleWriter();

    // A new entry named `name` (its path inside the zip), written through the
    // returned stream. Entries are stored in the order they were added.
    IOutputStream& addEntry (const juce::String& name);

    // Writes the zip beside `target` and moves it into place once complete, so
    // a failure leaves an existing file at `target` as it was. Fails with
    // "Failed to overwrite file" when the target cannot be written or replaced,
    // "Failed to write zip file" when writing the zip fails.
    Result write (const juce::File& target) const;

    // The time stamp every entry carries, corrected for the zip builder, which
    // stores the seconds field without halving it as the format requires.
    static juce::Time zipTimeStamp (juce::Time time);

private:
    struct Entry;

    Result writeZip (juce::FileOutputStream& out) const;

    juce::OwnedArray<Entry> entries;   // deleted last-added first

    JUCE_DECLARE_NON_COPYABLE (BundleWriter)
};

} // namespace Korvalune
