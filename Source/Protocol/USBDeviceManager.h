#pragma once

#include "Protocol/IUSBHIDDevice.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct hid_device_;
struct hid_device_info;

namespace Korvalune
{

// Keeps track of the supported units on the USB bus. It does not watch the
// bus itself: its owner calls scan() at intervals, and each scan opens the
// supported devices that appeared and reports them, then reports the ones
// that went away.
//
// Owns: the devices it opened, until a scan finds them gone and closed, or
// until it is destroyed.
// Threads: scan, the handler callbacks and the destructor all run on one
// thread (the message thread), so the device list needs no lock.
// Locks: none of its own; it takes each device's `mutex` to look at it.
class USBDeviceManager
{
public:
    struct DeviceId
    {
        std::uint16_t vendorId;
        std::uint16_t productId;
    };

    // One opened HID device on hidapi.
    //
    // Threads: write from the task-queue worker (through the transport), read
    // from the transport's read thread, close and the manager's looks from the
    // message thread.
    // Locks: `mutex` guards `handle` and `removed` and serialises write with
    // close. read takes no lock: a device is never closed while a read
    // thread runs on it.
    class HIDDevice : public IUSBHIDDevice
    {
    public:
        HIDDevice (hid_device_* handle, const hid_device_info& entry);
        ~HIDDevice() override;

        HIDDevice (const HIDDevice&) = delete;
        HIDDevice& operator= (const HIDDevice&) = delete;

        int read (std::uint8_t* buffer, std::size_t length, int timeoutMs) override;
        int write (const std::uint8_t* data, std::size_t length) override;
        void close() override;
        std::uint16_t getVendorId() const override { return vendorId; }
        std::uint16_t getProductId() const override { return productId; }

        const std::string& getPath() const { return path; }

    private:
        friend class USBDeviceManager;

        bool isOpenAt (const char* otherPath);
        bool markRemoved();
        bool isOpen();

        hid_device_* handle;
        const std::string path;
        bool removed = false;
        std::mutex mutex;
        const std::uint16_t vendorId;
        const std::uint16_t productId;
    };

    class Handler
    {
    public:
        virtual ~Handler() = default;
        // A newly opened supported device; usable until deviceRemoved.
        virtual void deviceArrived (HIDDevice* device) = 0;
        // The device left the bus. Closing it here lets the scan delete it at
        // once; an open device stays listed until a scan finds it closed.
        virtual void deviceRemoved (HIDDevice* device) = 0;
    };

    USBDeviceManager (Handler* handler, std::vector<DeviceId> allowedIds);
    ~USBDeviceManager();

    USBDeviceManager (const USBDeviceManager&) = delete;
    USBDeviceManager& operator= (const USBDeviceManager&) = delete;

    // Arrivals are reported before departures within one scan.
    void scan();

    // Lets go of a device that its handler gave up on while it is still on
    // the bus (its link broke): it is closed now and deleted by the next
    // scan, which reports no removal for it and, if its path is still listed,
    // opens the path afresh as a new arrival. Whatever was built on the
    // device must be gone before. A device the manager does not hold is
    // left alone.
    void dropDevice (const IUSBHIDDevice* device);

    bool isSupportedDevice (const hid_device_info& entry) const;

    // The devices held, reported or not yet deleted.
    std::size_t getDeviceCount() const { return devices.size(); }

private:
    HIDDevice* findOpenDevice (const char* path) const;
    void reportGone (std::vector<HIDDevice*>& missing);

    Handler* const handler;
    const std::vector<DeviceId> allowedIds;
    std::list<std::unique_ptr<HIDDevice>> devices;
};

} // namespace Korvalune
