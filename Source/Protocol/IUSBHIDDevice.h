#pragma once

#include <cstddef>
#include <cstdint>

namespace Korvalune
{

// One open HID device. The packet transport reads and writes through it; the
// device manager implements it over hidapi, the virtual unit in-process.
class IUSBHIDDevice
{
public:
    virtual ~IUSBHIDDevice() = default;

    // Reads one input report: its byte count (> 0), 0 when none came within
    // `timeoutMs`, -1 on error.
    virtual int read (std::uint8_t* buffer, std::size_t length, int timeoutMs) = 0;

    // Writes one output report whose first byte is the report id: `length`, or
    // -1 on error.
    virtual int write (const std::uint8_t* data, std::size_t length) = 0;

    // Releases the device; a second call does nothing.
    virtual void close() = 0;

    virtual std::uint16_t getVendorId() const = 0;
    virtual std::uint16_t getProductId() const = 0;
};

} // namespace Korvalune
