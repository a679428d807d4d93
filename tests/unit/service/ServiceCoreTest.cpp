// The service's states, connection, link-state reaction, start rules,
// listeners and getters, against the virtual unit over the real link.

#include "ServiceTestSupport.h"

using namespace servicetest;
using namespace Korvalune;
using Events = std::vector<std::string>;

namespace
{
std::uint32_t bitsOf (float value)
{
    return Quellon::floatBits (value);
}

// The frames the unit received, without the host's ACKs of a read transfer.
std::vector<std::vector<std::uint8_t>> requestsOf (vunit::VirtualUnit& unit)
{
    std::vector<std::vector<std::uint8_t>> result;

    for (auto& frame : unit.getFrames())
        if (frame.bytes[0] != ACK)
            result.emplace_back (frame.bytes.begin(), frame.bytes.begin() + frame.length);

    return result;
}

const auto versionRequest = linktest::bytes ({ VERSION_REQUEST, 0 });
const auto connectRequest = linktest::bytes ({ CONNECT_REQUEST, 0 });
const auto messageCE = linktest::bytes ({ MESSAGE_CE, 0 });

std::vector<std::uint8_t> readRequest (int kind, int index)
{
    return linktest::bytes ({ READ_REQUEST, 5, kind, index, 0, 0, 0 });
}
} // namespace

TEST (ServiceCore, BeforeAnyUnitEveryGetterGivesItsStartingValue)
{
    QuellonEditorService service (&requiredVersions(), fastTiming());
    EXPECT_EQ (service.getState(), QuellonEditorService::Disconnected);
    EXPECT_EQ (service.getLastError(), "");

    QuellonEditorService::DeviceVersionInfo info { { 9, 9, 9, 9 }, { 9, 9, 9, 9 }, 7 };
    EXPECT_FALSE (service.getDeviceVersion (info));
    EXPECT_EQ (info.system, KorvaluneData::InvalidVersion);
    EXPECT_EQ (info.dsp, KorvaluneData::InvalidVersion);
    EXPECT_EQ (info.subtype, 0);

    for (int slot : { -1, 0, 2, 3 })
        EXPECT_EQ (service.getUserCabinetName (slot), "?");

    // Defaults until the unit reports values.
    const std::pair<std::uint32_t, ParameterValue> defaults[] = { { 0x200, { 1, 1.0 } },
                                                                  { 0x205, { 1, 0.0 } },
                                                                  { 0x204, { 0, 5.0 } } };
    for (auto& [id, expected] : defaults)
    {
        ParameterValue value { 7, 7.0 };
        EXPECT_TRUE (service.getParameterValue ((QuellonParamID) id, value).ok);
        EXPECT_EQ (value.type, expected.type);
        EXPECT_EQ (value.value, expected.value);
    }

    ParameterValue value;
    expectFailure (service.getParameterValue ((QuellonParamID) 0x209, value), "No scope for parameter");
    QuellonEditorService::ParameterInfo parameter;
    expectFailure (service.getParameterInfo ((QuellonParamID) 0x209, parameter), "Parameter info not found");
    EXPECT_TRUE (LogCapture::instance().contains ("QuellonEditorService.cpp"));

    ASSERT_TRUE (service.getParameterInfo ((QuellonParamID) 0x206, parameter).ok);
    ASSERT_EQ (parameter.choices.size(), 3u);
    EXPECT_EQ (parameter.choices[2].text, "CAB");

    const QuellonEditorService::ParameterInfo* entry = nullptr;
    EXPECT_EQ (service.findParameter ((QuellonParamID) 0x209, &entry), nullptr);
    EXPECT_EQ (entry, nullptr);
    EXPECT_NE (service.findParameter ((QuellonParamID) 0x208, &entry), nullptr);
    ASSERT_NE (entry, nullptr);
    EXPECT_EQ (entry->deviceId, 0x208);
}

TEST (ServiceCore, FirmwareCheckComparesVersionsAsNumbers)
{
    using Info = QuellonEditorService::DeviceVersionInfo;
    QuellonEditorService dspOnly (&requiredVersions(), fastTiming());
    EXPECT_TRUE (dspOnly.checkFirmwareVersion (Info { { 0, 0, 0, 0 }, { 1, 2, 0, 0 }, 0 }));
    EXPECT_TRUE (dspOnly.checkFirmwareVersion (Info { { 0, 0, 0, 0 }, { 2, 0, 0, 0 }, 0 }));
    EXPECT_FALSE (dspOnly.checkFirmwareVersion (Info { { 9, 0, 0, 0 }, { 1, 1, 9, 0 }, 0 }));
    EXPECT_FALSE (dspOnly.checkFirmwareVersion (Info {}));

    const Info both { { 1, 5, 0, 0 }, { 0, 0, 0, 0 }, 0 };
    QuellonEditorService systemOnly (&both, fastTiming());
    EXPECT_FALSE (systemOnly.checkFirmwareVersion (Info { { 1, 4, 255, 0 }, { 9, 0, 0, 0 }, 0 }));
    EXPECT_TRUE (systemOnly.checkFirmwareVersion (Info { { 1, 5, 0, 0 }, {}, 0 }));

    QuellonEditorService nothing (nullptr, fastTiming());
    EXPECT_TRUE (nothing.checkFirmwareVersion (Info {}));
}

TEST (ServiceCore, ListenersAreCalledInOrderUntilRemoved)
{
    QuellonEditorService service (nullptr, fastTiming());
    Events calls;
    QuellonEditorService::Listener first, second, stateOnly;
    first.onStateChanged = [&] (State s) { calls.push_back ("first " + std::to_string ((int) s)); };
    second.onStateChanged = [&] (State) { calls.push_back ("second"); };
    stateOnly.onStateChanged = [&] (State) { calls.push_back ("stateOnly"); };

    service.addListener (&first);
    service.addListener (&second);
    service.addListener (&first);
    service.addListener (&stateOnly);
    service.addListener (nullptr);

    // Disconnecting without a unit still tells the listeners.
    service.disconnect();
    EXPECT_TRUE (LogCapture::instance().contains ("DEBUG: disconnect"));
    EXPECT_EQ (calls, (Events { "first 0", "second", "first 0", "stateOnly" }));

    // Members left empty are skipped.
    service.notifyRefreshAll();
    service.notifyParameterChanged ((QuellonParamID) 0x200, { 1, 0.5 });

    calls.clear();
    service.removeListener (&first);
    service.setState (QuellonEditorService::Busy);
    EXPECT_EQ (calls, (Events { "second", "stateOnly" }));

    service.removeListener (&second);
    service.removeListener (&stateOnly);
}

TEST (ServiceCore, NothingStartsWithoutAUnit)
{
    QuellonEditorService service (&requiredVersions(), fastTiming());
    Recorder recorder;
    service.addListener (&recorder);
    const QuellonEditorService::QuellonArchive archive;
    const auto notConnected = "Cannot start task while not connected";

    expectFailure (service.startRefresh (true), notConnected);
    expectFailure (service.startIdleTask ([] (TaskQueue::Task&) { return okResult; }), notConnected);
    expectFailure (service.startBackup ({}, [] (const QuellonEditorService::QuellonArchive&) {}), notConnected);
    expectFailure (service.startRestore (archive, {}), notConnected);
    expectFailure (service.startFirmwareUpdate (archive, {}), notConnected);
    expectFailure (service.setParameterValue ((QuellonParamID) 0x200, { 1, 0.5 }), notConnected);
    EXPECT_TRUE (LogCapture::instance().contains ("setParameterValue(512,0.500000)"));
    expectFailure (service.uploadUserCabinet (0, {}), notConnected);

    // Even when idle: a state set by hand is no connection.
    service.setState (QuellonEditorService::Idle);
    expectFailure (service.startRefresh (false), notConnected);

    EXPECT_EQ (recorder.take(), (Events { stateEvent (QuellonEditorService::Idle) }));
    service.removeListener (&recorder);
}

class ServiceConnectTest : public ServiceTest
{
};

TEST_F (ServiceConnectTest, ConnectingRefreshesVersionsConnectionGlobalsAndNames)
{
    unit->setGlobal (0x205, bitsOf (-6.5f));
    unit->setGlobal (0x999, bitsOf (1.0f));
    for (int slot = 0; slot < 3; ++slot)
        unit->setCabinet (slot, { {}, "Cab " + std::to_string (slot) });

    plugIn();
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    EXPECT_EQ (recorder.seen (Recorder::From::testThread), (Events { "state 1", "state 3" }));
    EXPECT_EQ (recorder.seen (Recorder::From::tasks), (Events { "state 3", "refresh", "state 1", "refresh" }));
    drain();

    EXPECT_EQ (requestsOf (*unit), (std::vector<std::vector<std::uint8_t>> { versionRequest, connectRequest,
                                                                              readRequest (GLOBALS, 0),
                                                                              readRequest (CABINET_NAME, 0),
                                                                              readRequest (CABINET_NAME, 1),
                                                                              readRequest (CABINET_NAME, 2),
                                                                              messageCE }));

    QuellonEditorService::DeviceVersionInfo info;
    EXPECT_TRUE (service->getDeviceVersion (info));
    EXPECT_EQ (info.system, (KorvaluneData::Version { 1, 0, 0, 0 }));
    EXPECT_EQ (info.dsp, (KorvaluneData::Version { 1, 2, 0, 0 }));
    EXPECT_EQ (info.subtype, 0);
    EXPECT_TRUE (LogCapture::instance().contains ("QuellonEditorService: DSP version: 1.2.0"));

    EXPECT_EQ (service->getUserCabinetName (2), "Cab 2");
    EXPECT_EQ (service->getUserCabinetName (3), "?");
    ParameterValue value;
    ASSERT_TRUE (service->getParameterValue ((QuellonParamID) 0x205, value).ok);
    EXPECT_EQ (value.value, -6.5);
    // A key the map does not know is kept and never shown.
    const QuellonEditorService::ParameterInfo* entry = nullptr;
    EXPECT_EQ (service->findParameter ((QuellonParamID) 0x999, &entry), nullptr);

    unplug();
    EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
    EXPECT_FALSE (service->getDeviceVersion (info));
}

TEST_F (ServiceConnectTest, OldOrUnknownFirmwareRequiresAnUpdateBeforeAnythingIsRead)
{
    for (bool versionAnswered : { true, false })
    {
        auto settings = unit->getSettings();
        settings.dsp = { 1, 1, 0, 0 };
        unit->setSettings (settings);

        if (! versionAnswered)
            unit->addFault (fault (Fault::Kind::Nack, VERSION_REQUEST));

        unit->clearFrames();
        plugIn();
        ASSERT_TRUE (recorder.waitForState (QuellonEditorService::FirmwareUpdateRequired));
        EXPECT_EQ (requestsOf (*unit), (std::vector<std::vector<std::uint8_t>> { versionRequest, connectRequest }));
        EXPECT_EQ (recorder.count ("refresh"), 0);
        EXPECT_EQ (LogCapture::instance().contains ("WARNING: Failed to get version information - assuming invalid version"),
                   ! versionAnswered);

        QuellonEditorService::DeviceVersionInfo info;
        EXPECT_TRUE (service->getDeviceVersion (info));
        EXPECT_EQ (info.dsp[1], versionAnswered ? 1 : 0);
        EXPECT_EQ (service->getUserCabinetName (0), "?");

        // Only an update leads out.
        expectFailure (service->startBackup ({}, [] (const QuellonEditorService::QuellonArchive&) {}),
                       "Cannot start task while busy");
        unplug();
        recorder.take();
    }
}

TEST_F (ServiceConnectTest, AConnectionCheckThatFailsEndsInError)
{
    struct Case
    {
        const char* message;
        std::function<void (vunit::VirtualUnit&, Connection&)> arm;
        KorvaluneProtocol::TimeLimits limits;
    };

    const Case cases[] = {
        { "Failed to connect (1)", [] (auto&, auto& link) { link.device.failingType = CONNECT_REQUEST; },
          linktest::testLimits() },
        { "Failed to connect (2)", [] (auto& u, auto&) { u.addFault (fault (Fault::Kind::Nack, CONNECT_REQUEST)); },
          linktest::testLimits() },
        // Silence is an answer once the check's time is up.
        { "Failed to connect (2)", [] (auto& u, auto&) { u.addFault (fault (Fault::Kind::Silent, CONNECT_REQUEST)); },
          linktest::testLimits (10000, 50) },
        { "Failed to refresh current state", [] (auto& u, auto&) { u.addFault (fault (Fault::Kind::Nack, READ_REQUEST)); },
          linktest::testLimits() },
    };

    for (auto& c : cases)
    {
        LogCapture::instance().clear();
        connection = std::make_unique<Connection> (unit, c.limits);
        c.arm (*unit, *connection);
        (void) service->connect (&connection->protocol);

        ASSERT_TRUE (waitForFailure (c.message)) << c.message;
        EXPECT_EQ (service->getState(), QuellonEditorService::Error);
        EXPECT_EQ (service->getLastError(), c.message);
        EXPECT_TRUE (LogCapture::instance().contains (std::string ("ERROR: EdSvc error: ") + c.message));
        EXPECT_EQ (countSent (MESSAGE_CE), 0);

        unplug();
        unit->clearFaults();
        unit->clearFrames();
    }

    // The refresh failed in its read of the globals, which reported first.
    EXPECT_TRUE (LogCapture::instance().contains ("EdSvc error: Failed to get globals"));
}

TEST_F (ServiceConnectTest, AFailedRefreshKeepsWhatWasReadBefore)
{
    unit->setCabinet (2, { {}, "Old" });
    plugInAndSettle();

    unit->setCabinet (2, { {}, "New" });
    unit->setGlobal (0x200, bitsOf (0.25f));
    unit->addFault (fault (Fault::Kind::Nack, READ_REQUEST, 4));
    ASSERT_TRUE (service->startRefresh (false).ok);

    ASSERT_TRUE (waitForFailure ("Failed to refresh current state"));
    EXPECT_EQ (service->getLastError(), "Failed to refresh current state");
    EXPECT_TRUE (LogCapture::instance().contains ("EdSvc error: Failed to get cabinet name"));
    EXPECT_EQ (service->getUserCabinetName (2), "Old");
    ParameterValue value;
    ASSERT_TRUE (service->getParameterValue ((QuellonParamID) 0x200, value).ok);
    EXPECT_EQ (value.value, 1.0);
}

TEST_F (ServiceConnectTest, ErrorAndUpdateRequiredRefuseEverythingButAFirmwareUpdate)
{
    plugInAndSettle();
    service->reportError (nullptr);
    EXPECT_EQ (service->getState(), QuellonEditorService::Error);
    EXPECT_TRUE (LogCapture::instance().contains ("ERROR: EdSvc error: "));

    expectFailure (service->startBackup ({}, [] (const QuellonEditorService::QuellonArchive&) {}),
                   "Cannot start task while busy");
    expectFailure (service->setParameterValue ((QuellonParamID) 0x200, { 1, 0.5 }), "Cannot start task while busy");

    // An update without an image has nothing to wait for (see the task tests).
    ASSERT_TRUE (service->startFirmwareUpdate ({}, {}).ok);
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    EXPECT_EQ (recorder.seen (Recorder::From::tasks), (Events { "state 8", "state 1", "state 3", "state 3", "refresh", "state 1", "refresh" }));
}

TEST_F (ServiceConnectTest, ALinkErrorIsReportedAndCancelsTheTasks)
{
    plugInAndSettle();

    service->handleLinkState (LinkDown);
    service->handleLinkState (LinkUp);
    EXPECT_TRUE (recorder.take().empty()) << "only an error counts";

    unit->unplug();
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Error));
    EXPECT_EQ (service->getLastError(), "A communication error occurred");
    ASSERT_TRUE (LogCapture::instance().waitFor ("QuellonEditorService: cancelAll"));

    unplug();
    EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
    EXPECT_EQ (recorder.take(), (Events { "state 11", "state 0" }));
}

TEST_F (ServiceConnectTest, AReplugAfterAnyEndingRefreshesAgain)
{
    plugInAndSettle();
    service->reportError ("Something failed");
    unplug();

    unit->clearFrames();
    plugIn();
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
    drain();
    EXPECT_EQ (countSent (MESSAGE_CE), 1);
    EXPECT_EQ (service->getLastError(), "Something failed") << "kept until the next report";
}

// A refresh held in its settling wait.
class SlowSettleTest : public ServiceTest
{
protected:
    SlowSettleTest() : ServiceTest ({}, { 600s, 2ms, 200ms, 1ms }) {}
};

TEST_F (SlowSettleTest, OneTaskAtATimeAndDisconnectEndsTheWait)
{
    plugIn();
    ASSERT_TRUE (LogCapture::instance().waitFor ("Starting refresh"));
    EXPECT_EQ (service->getState(), QuellonEditorService::Refreshing);
    expectFailure (service->startRefresh (true), "Cannot start task while busy");
    expectFailure (service->startFirmwareUpdate ({}, {}), "Cannot start task while busy");
    expectFailure (service->setParameterValue ((QuellonParamID) 0x200, { 1, 0.5 }), "Cannot start task while busy");

    unplug();
    ASSERT_TRUE (waitForFailure ("Task cancelled"));
    EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
    EXPECT_TRUE (unit->getFrames().empty()) << "nothing asked of the unit";
    EXPECT_FALSE (LogCapture::instance().contains ("EdSvc error"));
}
