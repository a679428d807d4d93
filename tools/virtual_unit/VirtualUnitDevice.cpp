#include "VirtualUnitDevice.h"

namespace vunit
{

VirtualUnitDevice::VirtualUnitDevice (std::shared_ptr<VirtualUnit> u)
    : unit (std::move (u)),
      endpoint (unit->open()),
      vendorId (unit->getSettings().vendorId),
      productId (unit->getSettings().productId)
{
}

VirtualUnitDevice::~VirtualUnitDevice()
{
    close();
}

int VirtualUnitDevice::read (std::uint8_t* buffer, std::size_t length, int timeoutMs)
{
    return endpoint != nullptr ? unit->read (*endpoint, buffer, length, timeoutMs) : -1;
}

int VirtualUnitDevice::write (const std::uint8_t* data, std::size_t length)
{
    return endpoint != nullptr ? unit->write (*endpoint, data, length) : -1;
}

void VirtualUnitDevice::close()
{
    if (endpoint != nullptr)
        unit->close (*endpoint);
}

} // namespace vunit
