// A unit that vanishes, goes silent or answers garbage while tasks run, and
// the service used from several threads at once. These run under
// ThreadSanitizer and AddressSanitizer too: a protocol used after the
// application deleted it, a race or a deadlock fails them.

#include "ServiceTestSupport.h"

#include <future>

using namespace servicetest;
using namespace Korvalune;
using Archive = QuellonEditorService::QuellonArchive;

namespace
{
struct TaskKind
{
    const char* name;
    int frames;   // about how many frames the unit receives during the task
    std::function<Result (QuellonEditorService&)> start;
};

Archive fullArchive()
{
    Archive archive;
    archive.globals = std::make_unique<KorvaluneData::ParamMap> (KorvaluneData::ParamMap { { 0x200, 0 } });
    archive.cabinets.resize (3);

    for (int slot = 0; slot < 3; ++slot)
        archive.cabinets[(std::size_t) slot].slot = slot;

    return archive;
}

Archive firmwareArchive()
{
    Archive archive;
    archive.firmware = std::make_unique<std::vector<std::uint8_t>> (1000, 0x33);
    return archive;
}

const std::vector<TaskKind>& taskKinds()
{
    static const std::vector<TaskKind> kinds {
        { "backup", 1 + 3 * (69 + 18),
          [] (auto& s) { return s.startBackup ({}, [] (const Archive&) {}); } },
        { "restore", 19 + 3 * (69 + 19) + 4 * 18, [] (auto& s) { return s.startRestore (fullArchive(), {}); } },
        { "firmware update", 18, [] (auto& s) { return s.startFirmwareUpdate (firmwareArchive(), {}); } },
        { "cabinet upload", 69 + 19, [] (auto& s) { return s.uploadUserCabinet (1, {}); } },
        { "refresh", 4 * 18 + 1, [] (auto& s) { return s.startRefresh (false); } },
        { "set parameter", 1, [] (auto& s) { return s.setParameterValue ((QuellonParamID) 0x207, { 1, 0.25 }); } },
    };
    return kinds;
}
} // namespace

class ServiceUnplugTest : public ServiceTest
{
protected:
    // The application's removal; it must come back, and with no task inside
    // the protocol it is about to delete.
    void unplugWhenGone()
    {
        ASSERT_TRUE (unit->waitForPresence (false, vunit::Clock::now() + linktest::deadline));
        unplug();
    }

    // A new connection after any ending gives a working unit again.
    void expectRecovery()
    {
        unit->clearFaults();
        unit->plug();
        plugIn();
        ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
        drain();
        recorder.take();
        unit->clearFrames();
    }
};

TEST_F (ServiceUnplugTest, UnpluggedInTheMiddleOfEveryTask)
{
    plugInAndSettle();

    for (auto& kind : taskKinds())
    {
        for (int at : { 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233 })
        {
            if (at > kind.frames)
                break;

            SCOPED_TRACE (std::string (kind.name) + " vanishing at frame " + std::to_string (at));
            LogCapture::instance().clear();
            unit->addFault (fault (Fault::Kind::Vanish, -1, at));
            ASSERT_TRUE (kind.start (*service).ok);
            unplugWhenGone();

            if (std::string (kind.name) == "firmware update")
            {
                // Its unit is awaited until the transfer fails; the failure
                // shows if the removal came first.
                ASSERT_TRUE (waitForFailure ("Failed to update DSP firmware"));
                const auto state = service->getState();
                EXPECT_TRUE (state == QuellonEditorService::Error || state == QuellonEditorService::Disconnected)
                    << state;
            }
            else
            {
                // Whatever the task still reports, the service stays disconnected.
                EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
            }

            expectRecovery();
        }
    }

    // Connecting is a task too.
    for (int at : { 1, 2, 3, 5, 8, 13, 21, 34, 55 })
    {
        unplug();
        unit->addFault (fault (Fault::Kind::Vanish, -1, at));
        plugIn();
        unplugWhenGone();
        EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
        expectRecovery();
    }
}

TEST_F (ServiceUnplugTest, DisconnectEndsARequestThatAPresentUnitLeavesUnanswered)
{
    // As at shut-down: the unit is still there, but it does not answer, and
    // the request would wait its whole time limit.
    plugIn (linktest::testLimits (600000, 600000));
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
    drain();
    unit->addFault (fault (Fault::Kind::Silent, READ_REQUEST));
    ASSERT_TRUE (service->startBackup ({}, [] (const Archive&) {}).ok);
    ASSERT_TRUE (connection->device.waitForWrites (READ_REQUEST, 5));

    auto released = std::async (std::launch::async, [this] { unplug(); });
    ASSERT_EQ (released.wait_for (linktest::deadline), std::future_status::ready);

    ASSERT_TRUE (waitForFailure ("Failed to get globals"));
    EXPECT_TRUE (LogCapture::instance().contains ("Disconnect/error while waiting"));
    EXPECT_TRUE (LogCapture::instance().contains ("WARNING: EdSvc error after disconnection: Failed to get globals"));
    EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
    EXPECT_EQ (service->getLastError(), "") << "a unit that has gone shows no error";
}

TEST_F (ServiceUnplugTest, AUnitThatAnswersGarbageIsRecoveredByAnUpdate)
{
    auto settings = unit->getSettings();
    settings.returnDelay = 10ms;
    unit->setSettings (settings);
    plugIn (linktest::testLimits (300, 300));
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
    drain();

    // A malformed reply marks the link, and the request, never answered,
    // ends; every later request is refused until an update clears the link.
    unit->addFault (fault (Fault::Kind::Malformed, READ_REQUEST, 2));
    ASSERT_TRUE (service->startBackup ({}, [] (const Archive&) {}).ok);
    ASSERT_TRUE (waitForFailure ("Failed to get cabinet data"));
    EXPECT_TRUE (LogCapture::instance().contains ("Packet/msg length mismatch! (3 != 7)"));

    recorder.take();
    ASSERT_TRUE (service->startFirmwareUpdate (firmwareArchive(), {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    unplugWhenGone();
    ASSERT_TRUE (unit->waitForPresence (true, vunit::Clock::now() + linktest::deadline));
    plugIn();
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    drain();
    EXPECT_EQ (service->getState(), QuellonEditorService::Idle);
}

TEST (ServiceShutdown, DestroyingTheServiceEndsAnUpdateThatWaitsForItsUnit)
{
    auto unit = std::make_shared<vunit::VirtualUnit> ("virtual:shutdown");
    auto settings = unit->getSettings();
    settings.returnDelay = 1h;
    unit->setSettings (settings);

    // The product's reconnect wait: half a minute.
    auto service = std::make_unique<QuellonEditorService> (&requiredVersions(),
                                                           QuellonEditorService::Timing { 1ms, 500ms, 30s, 1ms });
    Recorder recorder;
    service->addListener (&recorder);
    auto connection = std::make_unique<Connection> (unit, linktest::testLimits());
    (void) service->connect (&connection->protocol);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));

    ASSERT_TRUE (service->startFirmwareUpdate (firmwareArchive(), {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    ASSERT_TRUE (unit->waitForPresence (false, vunit::Clock::now() + linktest::deadline));
    service->disconnect();
    connection.reset();
    service->removeListener (&recorder);

    auto destroyed = std::async (std::launch::async, [&] { service.reset(); });
    ASSERT_EQ (destroyed.wait_for (10s), std::future_status::ready) << "well before the wait's own limit";
    EXPECT_TRUE (LogCapture::instance().contains ("Task cancelled"));
}

TEST_F (ServiceUnplugTest, GettersAndListenersFromOtherThreadsWhileTasksRun)
{
    plugInAndSettle();
    std::atomic<bool> running { true };
    std::atomic<int> callbacks { 0 };

    // What a view does on its own threads: read everything, come and go.
    auto reader = std::async (std::launch::async, [&] {
        QuellonEditorService::Listener listener;
        listener.onStateChanged = [&] (State) {
            ParameterValue value;
            (void) service->getParameterValue ((QuellonParamID) 0x205, value);
            (void) service->getLastError();
            ++callbacks;
        };
        listener.onRefreshAll = [&] { (void) service->getUserCabinetName (1); };

        while (running)
        {
            service->addListener (&listener);
            QuellonEditorService::DeviceVersionInfo info;
            (void) service->getDeviceVersion (info);
            (void) service->getState();
            ParameterValue value;
            (void) service->getParameterValue ((QuellonParamID) 0x200, value);
            (void) service->getUserCabinetName (0);
            service->removeListener (&listener);
        }
    });

    for (int round = 0; round < 3; ++round)
    {
        for (auto& kind : taskKinds())
        {
            if (std::string (kind.name) == "firmware update")
                continue;

            ASSERT_TRUE (kind.start (*service).ok) << kind.name;
            ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
            drain();
        }
    }

    // And a removal in the middle of it all.
    unit->addFault (fault (Fault::Kind::Vanish, -1, 40));
    ASSERT_TRUE (service->startBackup ({}, [] (const Archive&) {}).ok);
    unplugWhenGone();

    running = false;
    reader.get();
    EXPECT_GT (callbacks.load(), 0);
}
