#include "Protocol/USBDeviceManager.h"

#include <hidapi.h>

#include <algorithm>
#include <cstring>

namespace Korvalune
{

USBDeviceManager::HIDDevice::HIDDevice (hid_device* h, const hid_device_info& entry)
    : handle (h),
      path (entry.path != nullptr ? entry.path : ""),
      vendorId (entry.vendor_id),
      productId (entry.product_id)
{
}

USBDeviceManager::HIDDevice::~HIDDevice()
{
    close();
}

int USBDeviceManager::HIDDevice::read (std::uint8_t* buffer, std::size_t length, int timeoutMs)
{
    // No lock: only the transport's read thread reads, and the device is
    // closed only after that thread has ended.
    if (handle == nullptr)
        return -1;

    return hid_read_timeout (handle, buffer, length, timeoutMs);
}

int USBDeviceManager::HIDDevice::write (const std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock (mutex);

    if (handle == nullptr)
        return -1;

    // hidapi may count the report id or not; callers only need to know that
    // the whole report went out.
    if (hid_write (handle, data, length) < 0)
        return -1;

    return (int) length;
}

void USBDeviceManager::HIDDevice::close()
{
    std::lock_guard<std::mutex> lock (mutex);

    if (handle != nullptr)
    {
        hid_close (handle);
        handle = nullptr;
    }
}

bool USBDeviceManager::HIDDevice::isOpenAt (const char* otherPath)
{
    std::lock_guard<std::mutex> lock (mutex);
    return handle != nullptr && path == otherPath;
}

bool USBDeviceManager::HIDDevice::markRemoved()
{
    std::lock_guard<std::mutex> lock (mutex);
    const bool wasRemoved = removed;
    removed = true;
    return ! wasRemoved;
}

bool USBDeviceManager::HIDDevice::isOpen()
{
    std::lock_guard<std::mutex> lock (mutex);
    return handle != nullptr;
}

USBDeviceManager::USBDeviceManager (Handler* h, std::vector<DeviceId> ids)
    : handler (h), allowedIds (std::move (ids))
{
}

USBDeviceManager::~USBDeviceManager() = default;

bool USBDeviceManager::isSupportedDevice (const hid_device_info& entry) const
{
    return std::any_of (allowedIds.begin(), allowedIds.end(), [&] (const DeviceId& id) {
        return id.vendorId == entry.vendor_id && id.productId == entry.product_id;
    });
}

USBDeviceManager::HIDDevice* USBDeviceManager::findOpenDevice (const char* path) const
{
    for (auto& device : devices)
        if (device->isOpenAt (path))
            return device.get();

    return nullptr;
}

void USBDeviceManager::scan()
{
    std::vector<std::unique_ptr<HIDDevice>> arrived;
    std::vector<HIDDevice*> missing;

    for (auto& device : devices)
        missing.push_back (device.get());

    hid_device_info* entries = hid_enumerate (0, 0);

    for (auto* entry = entries; entry != nullptr; entry = entry->next)
    {
        if (! isSupportedDevice (*entry) || entry->path == nullptr)
            continue;

        if (auto* known = findOpenDevice (entry->path))
        {
            missing.erase (std::remove (missing.begin(), missing.end(), known), missing.end());
            continue;
        }

        // hidapi lists a device once per top-level collection, all under one
        // path: open and report it once.
        if (std::any_of (arrived.begin(), arrived.end(), [&] (auto& d) { return d->getPath() == entry->path; }))
            continue;

        // A device that cannot be opened (held by another program, say) is
        // tried again on the next scan.
        if (auto* handle = hid_open_path (entry->path))
            arrived.push_back (std::make_unique<HIDDevice> (handle, *entry));
    }

    hid_free_enumeration (entries);

    for (auto& device : arrived)
    {
        devices.push_back (std::move (device));

        if (handler != nullptr)
            handler->deviceArrived (devices.back().get());
    }

    reportGone (missing);
}

void USBDeviceManager::dropDevice (const IUSBHIDDevice* device)
{
    for (auto& held : devices)
    {
        if (held.get() == device)
        {
            // Closed, it no longer answers for its path; marked removed, it
            // goes without a report.
            held->close();
            (void) held->markRemoved();
            return;
        }
    }
}

void USBDeviceManager::reportGone (std::vector<HIDDevice*>& missing)
{
    for (auto* device : missing)
    {
        if (device->markRemoved() && handler != nullptr)
            handler->deviceRemoved (device);

        if (! device->isOpen())
            devices.remove_if ([device] (const std::unique_ptr<HIDDevice>& d) { return d.get() == device; });
    }
}

} // namespace Korvalune
