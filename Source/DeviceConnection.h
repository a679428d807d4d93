#pragma once

#include "Protocol/IUSBHIDDevice.h"
#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/KorvaluneUSBPacketIO.h"

#include <memory>

// The served unit as the application holds it: its opened HID device, the
// packet transport on it (whose read thread starts with it) and the protocol
// on the transport.
//
// Owns: the protocol and the transport, deleted in that order (the protocol
// detaches from the transport, then the transport joins its read thread).
// Not owned: the device, which the device manager owns and closes.
// Threads: the message thread builds and deletes it. Locks: none of its own.
class DeviceConnection
{
public:
    // Tests shorten the read time limit and the protocol's time limits.
    explicit DeviceConnection (Korvalune::IUSBHIDDevice* device,
        int readTimeoutMs = Korvalune::KorvaluneUSBPacketIO::defaultReadTimeoutMs,
        Korvalune::KorvaluneProtocol::TimeLimits limits = {});
    ~DeviceConnection();

    DeviceConnection (const DeviceConnection&) = delete;
    DeviceConnection& operator= (const DeviceConnection&) = delete;

    Korvalune::IUSBHIDDevice* const device;
    const std::unique_ptr<Korvalune::KorvaluneUSBPacketIO> packetIO;
    const std::unique_ptr<Korvalune::KorvaluneProtocol> protocol;
};
