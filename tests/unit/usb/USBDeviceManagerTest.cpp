// The device manager against the hidapi shim, which this test links in place
// of hidapi: the units it scans are virtual, driven by bus commands.

#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/KorvaluneUSBPacketIO.h"
#include "Protocol/USBDeviceManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <hidapi.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

extern "C" int quellon_vbus_command (const char* line, char* reply, size_t replySize);

using namespace Korvalune;

namespace
{
std::string vbus (const std::string& line)
{
    char reply[8192];
    const int status = quellon_vbus_command (line.c_str(), reply, sizeof (reply));
    EXPECT_EQ (status, 0) << line << " -> " << reply;
    return reply;
}

std::string statusOf (const std::string& id, const std::string& key)
{
    const auto text = vbus ("status " + id);
    const auto at = text.find ("\n" + key + "=");
    EXPECT_NE (at, std::string::npos) << key;
    const auto start = at + key.size() + 2;
    return text.substr (start, text.find ('\n', start) - start);
}

const std::vector<USBDeviceManager::DeviceId> supported { { 0x04D8, 0x003F }, { 0x04D8, 0x003C } };

// Records the callbacks as "+path" and "-path"; closes removed devices unless told to keep them.
struct Recorder : USBDeviceManager::Handler
{
    void deviceArrived (USBDeviceManager::HIDDevice* device) override
    {
        events.push_back ("+" + device->getPath());
        arrived.push_back (device);
    }

    void deviceRemoved (USBDeviceManager::HIDDevice* device) override
    {
        events.push_back ("-" + device->getPath());

        if (closeOnRemoval)
            device->close();
    }

    std::vector<std::string> takeEvents()
    {
        auto taken = std::move (events);
        events.clear();
        return taken;
    }

    std::vector<std::string> events;
    std::vector<USBDeviceManager::HIDDevice*> arrived;
    bool closeOnRemoval = true;
};

// Lets a test wait until a new protocol's link is up.
struct LinkWatch : KorvaluneProtocol::Handler
{
    void handleParameterReport (std::uint32_t, std::uint32_t) override {}
    void handleStatusReport (std::uint32_t) override {}

    void handleLinkState (int state) override
    {
        std::lock_guard<std::mutex> lock (mutex);
        up = state == LinkUp;
        changed.notify_all();
    }

    bool waitForUp()
    {
        std::unique_lock<std::mutex> lock (mutex);
        return changed.wait_for (lock, std::chrono::seconds (20), [this] { return up; });
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool up = false;
};

class USBDeviceManagerTest : public ::testing::Test
{
protected:
    void SetUp() override { vbus ("reset"); }
    void TearDown() override { vbus ("reset"); }
};

using Events = std::vector<std::string>;
} // namespace

TEST_F (USBDeviceManagerTest, OnlySupportedUnitsAreOpenedAndReportedOnce)
{
    vbus ("plug other vid=0x1234 pid=0x003f");
    vbus ("plug wrongproduct pid=0x0040");
    vbus ("plug u1");
    vbus ("plug u2 pid=0x3c");

    Recorder recorder;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:u1", "+virtual:u2" }));
    EXPECT_EQ (statusOf ("other", "open-handles"), "0");
    EXPECT_EQ (statusOf ("wrongproduct", "open-handles"), "0");
    EXPECT_EQ (statusOf ("u1", "open-handles"), "1");

    manager.scan();
    manager.scan();
    EXPECT_TRUE (recorder.takeEvents().empty());
    EXPECT_EQ (manager.getDeviceCount(), 2u);
}

TEST_F (USBDeviceManagerTest, RemovedUnitClosedByTheHandlerGoesInTheSameScan)
{
    vbus ("plug u1");
    Recorder recorder;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();

    vbus ("unplug u1");
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:u1", "-virtual:u1" }));
    EXPECT_EQ (manager.getDeviceCount(), 0u);
    EXPECT_EQ (statusOf ("u1", "open-handles"), "0");
}

TEST_F (USBDeviceManagerTest, RemovedUnitLeftOpenStaysUntilClosed)
{
    vbus ("plug u1");
    Recorder recorder;
    recorder.closeOnRemoval = false;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    vbus ("unplug u1");

    manager.scan();
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:u1", "-virtual:u1" })) << "removal reported once";
    EXPECT_EQ (manager.getDeviceCount(), 1u);

    recorder.arrived[0]->close();
    manager.scan();
    EXPECT_TRUE (recorder.takeEvents().empty());
    EXPECT_EQ (manager.getDeviceCount(), 0u);
}

TEST_F (USBDeviceManagerTest, ReplugBetweenScans)
{
    vbus ("plug u1");
    Recorder recorder;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    recorder.takeEvents();

    vbus ("unplug u1");
    vbus ("plug u1");
    manager.scan();
    EXPECT_TRUE (recorder.takeEvents().empty()) << "same path: as if never gone";

    vbus ("unplug u1");
    vbus ("plug u1 path=virtual:moved");
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:moved", "-virtual:u1" })) << "arrivals first";
}

TEST_F (USBDeviceManagerTest, ADroppedDeviceIsOpenedAfreshIfStillListed)
{
    vbus ("plug u1");
    vbus ("plug u2");
    Recorder recorder;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    recorder.takeEvents();

    // The handler gave up on both; u1 is still on the bus, u2 has gone.
    manager.dropDevice (recorder.arrived[0]);
    manager.dropDevice (recorder.arrived[1]);
    EXPECT_EQ (statusOf ("u1", "open-handles"), "0") << "closed at once";
    vbus ("unplug u2");

    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:u1" })) << "no removals reported";
    EXPECT_EQ (statusOf ("u1", "open-handles"), "1");
    EXPECT_EQ (manager.getDeviceCount(), 1u);

    manager.dropDevice (nullptr);
    EXPECT_EQ (manager.getDeviceCount(), 1u) << "a device it does not hold changes nothing";
}

TEST_F (USBDeviceManagerTest, OneDeviceUnderOnePathEvenWhenListedTwice)
{
    vbus ("plug u1 path=virtual:shared");
    vbus ("plug u2 path=virtual:shared");
    Recorder recorder;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:shared" }));
}

TEST_F (USBDeviceManagerTest, WithoutHandlerDevicesAreKeptUntilTheManagerGoes)
{
    vbus ("plug u1");
    {
        USBDeviceManager manager (nullptr, supported);
        manager.scan();
        vbus ("unplug u1");
        manager.scan();
        EXPECT_EQ (manager.getDeviceCount(), 1u) << "nobody closes it";
        EXPECT_EQ (statusOf ("u1", "open-handles"), "1");
    }

    EXPECT_EQ (statusOf ("u1", "open-handles"), "0");
}

TEST_F (USBDeviceManagerTest, DeviceReadsWritesAndClosesThroughHidapi)
{
    vbus ("plug u1");
    Recorder recorder;
    recorder.closeOnRemoval = false;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    ASSERT_EQ (recorder.arrived.size(), 1u);
    auto* device = recorder.arrived[0];
    EXPECT_EQ (device->getVendorId(), 0x04D8);
    EXPECT_EQ (device->getProductId(), 0x003F);

    const std::uint8_t request[] = { 0x00, 0xB4, 0x00 };
    EXPECT_EQ (device->write (request, sizeof (request)), 3);
    std::uint8_t reply[64];
    EXPECT_EQ (device->read (reply, sizeof (reply), 5000), 64);
    EXPECT_EQ (reply[0], 0xC0);
    EXPECT_EQ (device->read (reply, sizeof (reply), 0), 0) << "nothing more";

    vbus ("unplug u1");
    EXPECT_EQ (device->write (request, sizeof (request)), -1);
    EXPECT_EQ (device->read (reply, sizeof (reply), 0), -1);

    device->close();
    device->close();
    EXPECT_EQ (device->write (request, sizeof (request)), -1);
    EXPECT_EQ (device->read (reply, sizeof (reply), 0), -1);
}

TEST_F (USBDeviceManagerTest, UnitLeavesAfterAFirmwareUpdateAndComesBackUnderANewPath)
{
    vbus ("plug u1 dsp=1.1.0 next-dsp=1.2.0 return-ms=100");
    Recorder recorder;
    USBDeviceManager manager (&recorder, supported);
    manager.scan();
    ASSERT_EQ (recorder.arrived.size(), 1u);

    {
        LinkWatch watch;
        KorvaluneUSBPacketIO transport (recorder.arrived[0], 20);
        KorvaluneProtocol protocol (&transport, { 10000, 10000 });
        (void) protocol.setHandler (&watch);
        ASSERT_TRUE (protocol.getLinkState() == LinkUp || watch.waitForUp());

        ASSERT_TRUE (protocol.updateFirmware (std::vector<std::uint8_t> (1000, 0x42), {}).ok);
    }

    vbus ("wait u1 absent");
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:u1", "-virtual:u1" }));

    vbus ("wait u1 present");
    manager.scan();
    EXPECT_EQ (recorder.takeEvents(), (Events { "+virtual:u1#2" }));
    EXPECT_EQ (statusOf ("u1", "dsp"), "1.2.0");
    EXPECT_EQ (statusOf ("u1", "firmware-bytes"), "1000");
}

TEST_F (USBDeviceManagerTest, ShimAnswersTheRestOfHidapi)
{
    vbus ("plug u1 serial=ABC");
    EXPECT_EQ (hid_init(), 0);

    hid_device* dev = hid_open (0x04D8, 0x003F, L"ABC");
    ASSERT_NE (dev, nullptr);
    wchar_t text[64];
    ASSERT_EQ (hid_get_serial_number_string (dev, text, 64), 0);
    EXPECT_EQ (std::wstring (text), L"ABC");
    ASSERT_EQ (hid_get_manufacturer_string (dev, text, 64), 0);
    EXPECT_EQ (hid_get_device_info (dev)->vendor_id, 0x04D8);

    std::uint8_t buffer[64] = {};
    EXPECT_EQ (hid_get_feature_report (dev, buffer, sizeof (buffer)), -1);
    EXPECT_EQ (hid_set_nonblocking (dev, 1), 0);
    EXPECT_EQ (hid_read (dev, buffer, sizeof (buffer)), 0);
    EXPECT_NE (hid_error (dev), nullptr);
    hid_close (dev);

    EXPECT_EQ (hid_open (0x04D8, 0x003F, L"XYZ"), nullptr);
    EXPECT_EQ (hid_open_path ("virtual:nowhere"), nullptr);
    EXPECT_EQ (hid_version()->minor, 13);
    EXPECT_EQ (hid_exit(), 0);
}
