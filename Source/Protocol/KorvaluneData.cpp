#include "Protocol/KorvaluneData.h"

#include <algorithm>
#include <cstring>

namespace Korvalune::KorvaluneData
{

namespace
{
void encodeWords (const std::uint32_t* words, std::size_t count, std::uint8_t* bytes)
{
    for (std::size_t i = 0; i < count; ++i)
        writeWord (words[i], bytes + 4 * i);
}

void decodeWords (const std::uint8_t* bytes, std::size_t count, std::uint32_t* words)
{
    for (std::size_t i = 0; i < count; ++i)
        words[i] = readWord (bytes + 4 * i);
}

// Character i is the low byte of word i; the last word always stays zero.
void encodeNameInto (const std::string& name, std::uint8_t* block, std::size_t blockSize)
{
    std::memset (block, 0, blockSize);
    const auto maxLength = blockSize / 4 - 1;

    for (std::size_t i = 0; i < std::min (name.size(), maxLength); ++i)
    {
        if (name[i] == '\0')
            break;

        block[4 * i] = (std::uint8_t) name[i];
    }
}

std::string unpackNameFrom (const std::uint8_t* block, std::size_t blockSize)
{
    std::string name;
    const auto maxLength = blockSize / 4 - 1;

    for (std::size_t i = 0; i < maxLength && block[4 * i] != 0; ++i)
        name.push_back ((char) block[4 * i]);

    return name;
}
} // namespace

UserCabinetData::UserCabinetData()
{
    samples.fill (0);
    samples[0] = unitImpulseBits;
    samples[cabinetWords] = unitImpulseBits;
}

QuellonArchive::QuellonArchive (const QuellonArchive& other)
    : versions (other.versions ? std::make_unique<DeviceVersionInfo> (*other.versions) : nullptr),
      firmware (other.firmware ? std::make_unique<std::vector<std::uint8_t>> (*other.firmware) : nullptr),
      cabinets (other.cabinets),
      globals (other.globals ? std::make_unique<ParamMap> (*other.globals) : nullptr)
{
}

QuellonArchive& QuellonArchive::operator= (const QuellonArchive& other)
{
    if (this != &other)
        *this = QuellonArchive (other);

    return *this;
}

std::uint32_t readWord (const std::uint8_t* b)
{
    return (std::uint32_t) b[0] | ((std::uint32_t) b[1] << 8)
         | ((std::uint32_t) b[2] << 16) | ((std::uint32_t) b[3] << 24);
}

void writeWord (std::uint32_t word, std::uint8_t* b)
{
    b[0] = (std::uint8_t) word;
    b[1] = (std::uint8_t) (word >> 8);
    b[2] = (std::uint8_t) (word >> 16);
    b[3] = (std::uint8_t) (word >> 24);
}

Result encodeCabinetBlock (const std::uint32_t* words, std::uint8_t* block)
{
    encodeWords (words, cabinetWords, block);
    return okResult;
}

Result decodeCabinetBlock (const std::uint8_t* block, std::uint32_t* words)
{
    decodeWords (block, cabinetWords, words);
    return okResult;
}

Result encodeCabinetData (const std::uint32_t* words, std::uint8_t* data)
{
    encodeWords (words, cabinetDataWords, data);
    return okResult;
}

Result decodeCabinetData (const std::uint8_t* data, std::uint32_t* words)
{
    decodeWords (data, cabinetDataWords, words);
    return okResult;
}

Result encodeParams (const ParamMap& params, std::uint8_t* block)
{
    // A std::map already iterates in ascending unsigned order of its ids.
    if (params.size() > paramBlockEntries)
        return KORVALUNE_ERROR ("Too many params");

    auto entry = params.begin();

    for (std::size_t i = 0; i < paramBlockEntries; ++i)
    {
        const bool used = entry != params.end();
        writeWord (used ? entry->first : emptyParamId, block + 8 * i);
        writeWord (used ? entry->second : 0, block + 8 * i + 4);

        if (used)
            ++entry;
    }

    return okResult;
}

Result decodeParams (const std::uint8_t* bytes, std::size_t count, ParamMap& params)
{
    params.clear();

    for (std::size_t i = 0; i < count / 8; ++i)
    {
        const auto id = readWord (bytes + 8 * i);

        if (id == emptyParamId)
            break;

        params[id] = readWord (bytes + 8 * i + 4);
    }

    return okResult;
}

void encodeName (const std::string& name, std::uint8_t* block)
{
    encodeNameInto (name, block, nameBlockSize);
}

std::string unpackName (const std::uint8_t* block)
{
    return unpackNameFrom (block, nameBlockSize);
}

Result decodeName (const std::uint8_t* block, std::string& name)
{
    name = unpackName (block);
    return okResult;
}

void encodeShortName (const std::string& name, std::uint8_t* block)
{
    encodeNameInto (name, block, shortNameBlockSize);
}

std::string unpackShortName (const std::uint8_t* block)
{
    return unpackNameFrom (block, shortNameBlockSize);
}

Result decodeShortName (const std::uint8_t* block, std::string& name)
{
    name = unpackShortName (block);
    return okResult;
}

} // namespace Korvalune::KorvaluneData
