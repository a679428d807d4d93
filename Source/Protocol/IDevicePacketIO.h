#pragma once

#include "Protocol/Result.h"

#include <cstdint>

namespace Korvalune
{

// The link state of the packet transport and of the protocol.
enum LinkState : int
{
    LinkDown = 0,
    LinkUp = 1,
    LinkError = 2
};

// Carries the device protocol's messages, one per HID report.
class IDevicePacketIO
{
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;
        virtual void handleLinkState (int state) = 0;
        // `data` is valid only during the call.
        virtual void handlePacket (const std::uint8_t* data, unsigned length) = 0;
    };

    virtual ~IDevicePacketIO() = default;

    // Reports the current link state to a new handler at once; null detaches.
    virtual Result setHandler (Handler* handler) = 0;
    virtual Result writePacket (const std::uint8_t* data, unsigned length) = 0;
};

} // namespace Korvalune
