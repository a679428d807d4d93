#include "Protocol/DeviceMessage.h"

#include "Protocol/KorvaluneData.h"

#include <cstring>

namespace Korvalune
{

void writeHalfWord (std::uint16_t value, std::uint8_t* bytes)
{
    bytes[0] = (std::uint8_t) value;
    bytes[1] = (std::uint8_t) (value >> 8);
}

std::uint16_t readHalfWord (const std::uint8_t* bytes)
{
    return (std::uint16_t) (bytes[0] | (bytes[1] << 8));
}

DeviceMessage makeMessage (std::uint8_t type, const std::uint8_t* payload, unsigned payloadLength)
{
    DeviceMessage message;
    message.bytes[0] = type;
    message.bytes[1] = (std::uint8_t) payloadLength;

    if (payloadLength > 0)
        std::memcpy (message.bytes.data() + 2, payload, payloadLength);

    message.length = payloadLength + 2;
    return message;
}

DeviceMessage makeSetParameter (std::uint16_t parameter, std::uint32_t value)
{
    std::uint8_t payload[8];
    KorvaluneData::writeWord (parameter, payload);
    KorvaluneData::writeWord (value, payload + 4);
    return makeMessage (SET_PARAMETER, payload, sizeof (payload));
}

DeviceMessage makeFirmwareStart()
{
    std::uint8_t payload[5] = { 0x00 };
    KorvaluneData::writeWord (FirmwareStartCode, payload + 1);
    return makeMessage (FIRMWARE_START, payload, sizeof (payload));
}

DeviceMessage makeReadRequest (std::uint8_t kind, std::uint16_t index)
{
    std::uint8_t payload[5] = { kind, 0, 0, 0, 0 };
    writeHalfWord (index, payload + 1);
    return makeMessage (READ_REQUEST, payload, sizeof (payload));
}

DeviceMessage makeTransferEnd (std::uint8_t kind, std::uint16_t index, std::uint16_t words, std::uint16_t checksum)
{
    std::uint8_t payload[7] = { kind };
    writeHalfWord (index, payload + 1);
    writeHalfWord (words, payload + 3);
    writeHalfWord (checksum, payload + 5);
    return makeMessage (TRANSFER_END, payload, sizeof (payload));
}

Result parseVersionResponse (const std::uint8_t* reply, std::uint8_t system[4], std::uint8_t dsp[4],
                             std::int32_t& subtype)
{
    const unsigned payloadLength = reply[1];

    if (reply[0] != ACK || payloadLength < 7 || reply[2] != VERSION_REQUEST)
        return KORVALUNE_ERROR ("Malformed version response");

    for (int i = 0; i < 3; ++i)
    {
        system[i] = reply[3 + i];
        dsp[i] = reply[6 + i];
    }

    system[3] = 0;
    dsp[3] = 0;
    subtype = -1;

    if (payloadLength >= 8 && reply[9] <= 2)
        subtype = reply[9];

    return okResult;
}

} // namespace Korvalune
