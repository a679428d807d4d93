#include "DeviceConnection.h"

DeviceConnection::DeviceConnection (
    Korvalune::IUSBHIDDevice* unitDevice, int readTimeoutMs, Korvalune::KorvaluneProtocol::TimeLimits limits)
    : device (unitDevice)
    , packetIO (std::make_unique<Korvalune::KorvaluneUSBPacketIO> (unitDevice, readTimeoutMs))
    , protocol (std::make_unique<Korvalune::KorvaluneProtocol> (packetIO.get(), limits))
{
}

// Members go in reverse order: the protocol first, then the transport.
DeviceConnection::~DeviceConnection() = default;
