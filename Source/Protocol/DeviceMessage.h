#pragma once

#include "Protocol/Result.h"

#include <array>
#include <cstdint>

// The frames exchanged with the unit: a type byte, a payload length byte and
// at most 62 payload bytes, multi-byte fields little-endian. Builders and the
// version-reply parser are pure functions over bytes.
namespace Korvalune
{

enum MessageType : std::uint8_t
{
    FIRMWARE_START = 0xB1,
    FIRMWARE_DATA = 0xB2,
    CONNECT_REQUEST = 0xB4,
    VERSION_REQUEST = 0xB5,
    ACK = 0xC0,
    NACK = 0xC1,
    TRANSFER_START = 0xC2,
    TRANSFER_DATA = 0xC3,
    TRANSFER_END = 0xC4,
    READ_REQUEST = 0xC5,
    SET_PARAMETER = 0xC7,
    MESSAGE_CE = 0xCE,
    MESSAGE_CF = 0xCF
};

enum TransferKind : std::uint8_t
{
    GLOBALS = 1,
    CABINET_NAME = 9,
    CABINET_DATA = 10
};

inline constexpr unsigned maxPayloadLength = 62;
inline constexpr unsigned maxMessageLength = maxPayloadLength + 2;
inline constexpr std::uint32_t FirmwareStartCode = 0x5E1A7C33;

// One frame as it goes out; `length` counts the type and length bytes.
struct DeviceMessage
{
    std::array<std::uint8_t, maxMessageLength> bytes {};
    unsigned length = 0;

    const std::uint8_t* data() const { return bytes.data(); }
};

// The caller keeps payloadLength within maxPayloadLength.
DeviceMessage makeMessage (std::uint8_t type, const std::uint8_t* payload = nullptr, unsigned payloadLength = 0);
DeviceMessage makeSetParameter (std::uint16_t parameter, std::uint32_t value);
DeviceMessage makeFirmwareStart();
DeviceMessage makeReadRequest (std::uint8_t kind, std::uint16_t index);
DeviceMessage makeTransferEnd (std::uint8_t kind, std::uint16_t index, std::uint16_t words, std::uint16_t checksum);

// Reads the versions from the 64-byte reply to VERSION_REQUEST; a reply that
// is not an ACK of it with at least 7 payload bytes leaves the outputs alone.
Result parseVersionResponse (const std::uint8_t* reply, std::uint8_t system[4], std::uint8_t dsp[4],
                             std::int32_t& subtype);

// Little-endian 16-bit fields of payloads (32-bit ones use KorvaluneData's
// readWord and writeWord).
void writeHalfWord (std::uint16_t value, std::uint8_t* bytes);
std::uint16_t readHalfWord (const std::uint8_t* bytes);

} // namespace Korvalune
