#pragma once

#include "Protocol/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The byte format of the image pack: an 8-byte header (directory offset,
// entry count), the file bodies, the file names, then a directory of 16-byte
// entries that ends the block. Bodies and names start at multiples of 4;
// every number is an unsigned 32-bit little-endian word. Plain functions over
// bytes, free of the GUI, shared by the pack builder, ImagePack and the fuzzer.

struct PackEntry
{
    std::uint32_t nameOffset = 0;
    std::uint32_t nameLength = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
};

// Copies `size` bytes of the block from `offset` to `destination`; false when
// it cannot.
using PackReader = std::function<bool (std::uint32_t offset, std::uint32_t size, void* destination)>;

using PackDirectory = std::map<std::string, PackEntry>;

struct PackFile
{
    std::string name;
    std::vector<std::uint8_t> body;
};

inline constexpr std::uint32_t packHeaderSize = 8;
inline constexpr std::uint32_t packEntrySize = 16;

// Reads the directory of a block of `blockSize` bytes into `directory`, keyed
// by name (a later entry replaces an earlier one of the same name). A block
// whose header, directory or entries reach outside it is refused as a whole
// and leaves `directory` empty.
Korvalune::Result readPackDirectory (const PackReader& reader, std::uint32_t blockSize, PackDirectory& directory);

// Lays the files out in the given order as one block.
std::vector<std::uint8_t> writePack (const std::vector<PackFile>& files);

// A reader over a block in memory; refuses reads beyond its end.
PackReader makeMemoryPackReader (const void* block, std::size_t size);
