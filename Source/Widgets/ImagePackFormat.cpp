#include "Widgets/ImagePackFormat.h"

#include "Protocol/KorvaluneData.h"

#include <cstring>

using Korvalune::KorvaluneData::readWord;
using Korvalune::KorvaluneData::writeWord;

namespace
{
// True when [offset, offset + size) lies within [first, end).
bool liesWithin (std::uint64_t offset, std::uint64_t size, std::uint64_t first, std::uint64_t end)
{
    return offset >= first && offset <= end && size <= end - offset;
}

std::size_t alignedTo4 (std::size_t n)
{
    return (n + 3) & ~std::size_t (3);
}

void append (std::vector<std::uint8_t>& block, const void* data, std::size_t size)
{
    block.resize (alignedTo4 (block.size()), 0);
    auto* bytes = static_cast<const std::uint8_t*> (data);
    block.insert (block.end(), bytes, bytes + size);
}

void appendWord (std::vector<std::uint8_t>& block, std::uint32_t word)
{
    std::uint8_t bytes[4];
    writeWord (word, bytes);
    block.insert (block.end(), bytes, bytes + 4);
}
} // namespace

Korvalune::Result readPackDirectory (const PackReader& reader, std::uint32_t blockSize, PackDirectory& directory)
{
    directory.clear();

    if (blockSize < packHeaderSize)
        return KORVALUNE_ERROR ("Image pack too short: %u bytes", blockSize);

    std::uint8_t header[packHeaderSize];
    if (! reader (0, packHeaderSize, header))
        return KORVALUNE_ERROR ("Image pack header unreadable");

    const auto directoryOffset = readWord (header);
    const auto count = readWord (header + 4);

    if (count == 0)
        return KORVALUNE_ERROR ("Image pack has no entries");

    // The directory ends the block; checked before anything is sized by count.
    const std::uint64_t directorySize = std::uint64_t (count) * packEntrySize;
    if (directorySize > blockSize - packHeaderSize || directoryOffset != blockSize - directorySize)
        return KORVALUNE_ERROR ("Image pack directory outside the pack: offset %u, %u entries, %u bytes",
                                directoryOffset, count, blockSize);

    std::vector<std::uint8_t> table (directorySize);
    if (! reader (directoryOffset, (std::uint32_t) directorySize, table.data()))
        return KORVALUNE_ERROR ("Image pack directory unreadable");

    PackDirectory entries;

    for (std::uint32_t i = 0; i < count; ++i)
    {
        const auto* raw = table.data() + i * packEntrySize;
        PackEntry entry { readWord (raw), readWord (raw + 4), readWord (raw + 8), readWord (raw + 12) };

        if (! liesWithin (entry.nameOffset, entry.nameLength, packHeaderSize, directoryOffset)
            || ! liesWithin (entry.dataOffset, entry.dataSize, packHeaderSize, directoryOffset))
            return KORVALUNE_ERROR ("Image pack entry %u outside the pack", i);

        std::string name (entry.nameLength, '\0');
        if (entry.nameLength > 0 && ! reader (entry.nameOffset, entry.nameLength, name.data()))
            return KORVALUNE_ERROR ("Image pack name %u unreadable", i);

        entries[name] = entry;
    }

    directory = std::move (entries);
    return Korvalune::okResult;
}

std::vector<std::uint8_t> writePack (const std::vector<PackFile>& files)
{
    std::vector<std::uint8_t> block (packHeaderSize, 0);
    std::vector<PackEntry> entries (files.size());

    for (std::size_t i = 0; i < files.size(); ++i)
    {
        append (block, files[i].body.data(), files[i].body.size());
        entries[i].dataOffset = (std::uint32_t) (block.size() - files[i].body.size());
        entries[i].dataSize = (std::uint32_t) files[i].body.size();
    }

    for (std::size_t i = 0; i < files.size(); ++i)
    {
        append (block, files[i].name.data(), files[i].name.size());
        entries[i].nameOffset = (std::uint32_t) (block.size() - files[i].name.size());
        entries[i].nameLength = (std::uint32_t) files[i].name.size();
    }

    block.resize (alignedTo4 (block.size()), 0);
    writeWord ((std::uint32_t) block.size(), block.data());
    writeWord ((std::uint32_t) files.size(), block.data() + 4);

    for (const auto& entry : entries)
    {
        appendWord (block, entry.nameOffset);
        appendWord (block, entry.nameLength);
        appendWord (block, entry.dataOffset);
        appendWord (block, entry.dataSize);
    }

    return block;
}

PackReader makeMemoryPackReader (const void* block, std::size_t size)
{
    return [bytes = static_cast<const std::uint8_t*> (block), size] (std::uint32_t offset, std::uint32_t length,
                                                                     void* destination)
    {
        if (bytes == nullptr || ! liesWithin (offset, length, 0, size))
            return false;

        if (length > 0)
            std::memcpy (destination, bytes + offset, length);
        return true;
    };
}
