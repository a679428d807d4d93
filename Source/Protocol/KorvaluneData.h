#pragma once

#include "Protocol/Result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The records the device library reads from and writes to the unit, and the
// codecs between them and the byte blocks of transfers and data files. Every
// block is little-endian whatever the host.
namespace Korvalune::KorvaluneData
{

inline constexpr std::size_t cabinetWords = 1024;           // one half, as it travels
inline constexpr std::size_t cabinetDataWords = 2 * cabinetWords;
inline constexpr std::size_t cabinetBlockSize = 4 * cabinetWords;
inline constexpr std::size_t cabinetDataSize = 4 * cabinetDataWords;
inline constexpr std::size_t paramBlockSize = 1024;
inline constexpr std::size_t paramBlockEntries = paramBlockSize / 8;
inline constexpr std::size_t nameBlockSize = 1024;
inline constexpr std::size_t shortNameBlockSize = 64;
inline constexpr std::uint32_t emptyParamId = 0xFFFFFFFF;
inline constexpr std::uint32_t unitImpulseBits = 0x3F800000;   // 1.0f

using ParamMap = std::map<std::uint32_t, std::uint32_t>;
using Version = std::array<std::uint8_t, 4>;

// 0.0.0.0: a version not known, or, as a requirement, none.
inline constexpr Version InvalidVersion { 0, 0, 0, 0 };

// One user cabinet: an impulse response as raw float bits in two halves of
// 1024 words (only the first travels to and from the unit), and its name.
struct UserCabinetData
{
    UserCabinetData();

    std::int32_t slot = 0;
    std::array<std::uint32_t, cabinetDataWords> samples;
    std::string name;
};

struct DeviceVersionInfo
{
    Version system = InvalidVersion;
    Version dsp = InvalidVersion;
    std::int32_t subtype = -1;
};

// The parts of a backup bundle, each optional. Copies are deep, so a task can
// take its own copy and the caller may drop the original at once.
struct QuellonArchive
{
    QuellonArchive() = default;
    QuellonArchive (const QuellonArchive& other);
    QuellonArchive& operator= (const QuellonArchive& other);
    QuellonArchive (QuellonArchive&&) noexcept = default;
    QuellonArchive& operator= (QuellonArchive&&) noexcept = default;

    std::unique_ptr<DeviceVersionInfo> versions;
    std::unique_ptr<std::vector<std::uint8_t>> firmware;   // in sending order
    std::vector<UserCabinetData> cabinets;
    std::unique_ptr<ParamMap> globals;
};

Result encodeCabinetBlock (const std::uint32_t* words, std::uint8_t* block);
Result decodeCabinetBlock (const std::uint8_t* block, std::uint32_t* words);
Result encodeCabinetData (const std::uint32_t* words, std::uint8_t* data);
Result decodeCabinetData (const std::uint8_t* data, std::uint32_t* words);

// Fails with "Too many params" above 128 entries, leaving the block as it was.
Result encodeParams (const ParamMap& params, std::uint8_t* block);
Result decodeParams (const std::uint8_t* bytes, std::size_t count, ParamMap& params);

void encodeName (const std::string& name, std::uint8_t* block);
std::string unpackName (const std::uint8_t* block);
Result decodeName (const std::uint8_t* block, std::string& name);

void encodeShortName (const std::string& name, std::uint8_t* block);
std::string unpackShortName (const std::uint8_t* block);
Result decodeShortName (const std::uint8_t* block, std::string& name);

// Little-endian word access shared by the codecs and the data files.
std::uint32_t readWord (const std::uint8_t* bytes);
void writeWord (std::uint32_t word, std::uint8_t* bytes);

} // namespace Korvalune::KorvaluneData
