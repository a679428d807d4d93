#pragma once

#include "Protocol/IUSBHIDDevice.h"
#include "VirtualUnit.h"

#include <memory>

namespace vunit
{

// One open handle on a virtual unit, as the transport sees a real device.
// The shim's hidapi handles are made of these too.
//
// Threads: read from one thread, write and close from others, as with a real
// device; the unit's own lock makes them safe together.
class VirtualUnitDevice : public Korvalune::IUSBHIDDevice
{
public:
    // Opens the unit; a unit off the bus gives a device whose every call fails.
    explicit VirtualUnitDevice (std::shared_ptr<VirtualUnit> unit);
    ~VirtualUnitDevice() override;

    VirtualUnitDevice (const VirtualUnitDevice&) = delete;
    VirtualUnitDevice& operator= (const VirtualUnitDevice&) = delete;

    bool isOpen() const { return endpoint != nullptr; }
    VirtualUnit& getUnit() const { return *unit; }

    int read (std::uint8_t* buffer, std::size_t length, int timeoutMs) override;
    int write (const std::uint8_t* data, std::size_t length) override;
    void close() override;
    std::uint16_t getVendorId() const override { return vendorId; }
    std::uint16_t getProductId() const override { return productId; }

private:
    const std::shared_ptr<VirtualUnit> unit;
    const std::shared_ptr<VirtualUnit::Endpoint> endpoint;
    const std::uint16_t vendorId;
    const std::uint16_t productId;
};

} // namespace vunit
