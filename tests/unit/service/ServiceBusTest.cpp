// The service behind the device manager, over the hidapi shim linked in
// hidapi's place: units arrive and go as the application sees them, and a
// unit that takes new firmware comes back as a new device.

#include "Protocol/KorvaluneUSBPacketIO.h"
#include "Protocol/USBDeviceManager.h"
#include "support/ShimBus.h"
#include "unit/service/ServiceTestSupport.h"

using namespace servicetest;
using namespace shimbus;
using namespace Korvalune;

namespace
{
// What the application does with the device manager's reports: one unit is
// served, through a connection built on its arrival and deleted on its
// removal once the service has let go of it.
class Application : public USBDeviceManager::Handler
{
public:
    explicit Application (QuellonEditorService& s) : service (s) {}

    ~Application() override
    {
        if (connection != nullptr)
        {
            service.disconnect();
            connection.reset();
        }
    }

    void deviceArrived (USBDeviceManager::HIDDevice* device) override
    {
        if (connection != nullptr)
            return;

        connection = std::make_unique<DeviceConnection> (device);
        paths.push_back (device->getPath());
        (void) service.connect (&connection->protocol);
    }

    void deviceRemoved (USBDeviceManager::HIDDevice* device) override
    {
        if (connection != nullptr && connection->device == device)
        {
            service.disconnect();
            connection.reset();
        }

        device->close();
    }

    void scan() { manager.scan(); }

    std::vector<std::string> paths;

private:
    struct DeviceConnection
    {
        explicit DeviceConnection (USBDeviceManager::HIDDevice* d)
            : device (d), transport (d, linktest::testReadTimeoutMs), protocol (&transport, linktest::testLimits())
        {
            // Tests settle for a millisecond, not three seconds: let the link come up first.
            (void) protocol.setHandler (&linkWatch);
            EXPECT_TRUE (protocol.getLinkState() == LinkUp || linkWatch.waitForState (LinkUp));
        }

        USBDeviceManager::HIDDevice* device;
        KorvaluneUSBPacketIO transport;
        linktest::ProtocolEvents linkWatch;
        KorvaluneProtocol protocol;
    };

    QuellonEditorService& service;
    USBDeviceManager manager { this, { { 0x04D8, 0x003F }, { 0x04D8, 0x003C } } };
    std::unique_ptr<DeviceConnection> connection;
};

class ServiceBusTest : public ::testing::Test
{
protected:
    ServiceBusTest() { vbus ("reset"); }

    ~ServiceBusTest() override
    {
        service.removeListener (&recorder);
        vbus ("reset");
    }

    void SetUp() override { service.addListener (&recorder); }

    QuellonEditorService service { &requiredVersions(), { 1ms, 2ms, 10s, 1ms } };
    Recorder recorder;
};
} // namespace

TEST_F (ServiceBusTest, AnUpdatedUnitComesBackAsANewDeviceAndTheUpdateGoesOn)
{
    vbus ("plug u1 dsp=1.1.0 next-dsp=1.2.3 return-ms=50");
    Application application (service);
    application.scan();
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::FirmwareUpdateRequired));

    QuellonEditorService::QuellonArchive archive;
    archive.firmware = std::make_unique<std::vector<std::uint8_t>> (1000, 0x42);
    ASSERT_TRUE (service.startFirmwareUpdate (archive, {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));

    vbus ("wait u1 absent");
    application.scan();
    EXPECT_EQ (service.getState(), QuellonEditorService::UpdateComplete);

    vbus ("wait u1 present");
    vbus ("clear-frames u1");
    application.scan();
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));

    EXPECT_EQ (application.paths, (std::vector<std::string> { "virtual:u1", "virtual:u1#2" }));
    EXPECT_EQ (vbus ("firmware u1").find ("size=1000") != std::string::npos, true) << vbus ("firmware u1");
    EXPECT_EQ (framesOfType ("u1", VERSION_REQUEST), 1);
    EXPECT_EQ (framesOfType ("u1", CONNECT_REQUEST), 0) << "no connection check after an update";
    EXPECT_EQ (framesOfType ("u1", READ_REQUEST), 4);

    Korvalune::KorvaluneData::DeviceVersionInfo version;
    EXPECT_TRUE (service.getDeviceVersion (version));
    EXPECT_EQ (version.dsp, (Korvalune::KorvaluneData::Version { 1, 2, 3, 0 }));
    EXPECT_EQ (service.getState(), QuellonEditorService::Idle);
}

TEST_F (ServiceBusTest, AUnitPulledAndPluggedBackIsServedAgain)
{
    vbus ("plug u1");
    vbus ("plug u2");
    Application application (service);
    application.scan();
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));

    // The second unit is not served, and not once the first has gone.
    vbus ("unplug u1");
    application.scan();
    EXPECT_EQ (service.getState(), QuellonEditorService::Disconnected);
    application.scan();
    EXPECT_EQ (service.getState(), QuellonEditorService::Disconnected);

    vbus ("plug u1");
    application.scan();
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 4));
    EXPECT_EQ (application.paths, (std::vector<std::string> { "virtual:u1", "virtual:u1" }));
    EXPECT_EQ (framesOfType ("u2", VERSION_REQUEST), 0);
}
