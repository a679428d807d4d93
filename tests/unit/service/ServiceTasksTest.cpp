// The service's device jobs against the virtual unit: what each sends,
// stores, reports and how it fails.

#include "ServiceTestSupport.h"

#include <cstring>
#include <limits>

using namespace servicetest;
using namespace Korvalune;
using Archive = QuellonEditorService::QuellonArchive;
using Cabinet = vunit::VirtualUnit::Cabinet;
using Events = std::vector<std::string>;

namespace
{
// A cabinet whose every word tells its slot and position apart.
Cabinet patternCabinet (int seed, std::string name)
{
    Cabinet cabinet;

    for (std::size_t i = 0; i < cabinet.words.size(); ++i)
        cabinet.words[i] = (std::uint32_t) (seed << 16) + (std::uint32_t) i;

    cabinet.name = std::move (name);
    return cabinet;
}

QuellonEditorService::UserCabinetData recordOf (const Cabinet& cabinet, int slot)
{
    QuellonEditorService::UserCabinetData record;
    record.slot = slot;
    std::copy (cabinet.words.begin(), cabinet.words.end(), record.samples.begin());
    record.name = cabinet.name;
    return record;
}

// Lets a test hold a task inside one of its callbacks.
struct Gate
{
    void hold()
    {
        signal.update ([&] { held = true; });
        signal.waitFor ([&] { return open; });
    }

    bool waitUntilHeld() { return signal.waitFor ([&] { return held; }); }
    void release() { signal.update ([&] { open = true; }); }

    linktest::Signal signal;
    bool held = false;
    bool open = false;
};

struct Progress
{
    std::function<void (double)> function()
    {
        return [this] (double value) { signal.update ([&] { values.push_back (value); }); };
    }

    std::vector<double> taken()
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        return values;
    }

    linktest::Signal signal;
    std::vector<double> values;
};
} // namespace

class ServiceTasksTest : public ServiceTest
{
protected:
    explicit ServiceTasksTest (QuellonEditorService::Timing timing = fastTiming()) : ServiceTest ({}, timing) {}

    void SetUp() override
    {
        fillCabinets();
        plugInAndSettle();
    }

    void fillCabinets()
    {
        for (int slot = 0; slot < 3; ++slot)
            unit->setCabinet (slot, patternCabinet (slot + 1, "Unit " + std::to_string (slot)));
    }

    // A task that failed ends with the error report and its failure line.
    void expectReportedFailure (const char* message)
    {
        ASSERT_TRUE (waitForFailure (message)) << message;
        EXPECT_EQ (service->getState(), QuellonEditorService::Error);
        EXPECT_EQ (service->getLastError(), message);
        EXPECT_TRUE (LogCapture::instance().contains (std::string ("ERROR: EdSvc error: ") + message));
    }

    // Reconnects, so that a failed case leaves nothing behind for the next.
    void replug()
    {
        unplug();
        unit->clearFaults();
        SetUp();
    }
};

TEST_F (ServiceTasksTest, SetParameterSendsTheFloatBitsStoresAndTells)
{
    ASSERT_TRUE (service->setParameterValue ((QuellonParamID) 0x205, { 1, -3.25 }).ok);
    ASSERT_TRUE (recorder.waitForEvent ("param 0x205=-3.25/1"));
    // Each change is a task and a frame of its own.
    ASSERT_TRUE (service->setParameterValue ((QuellonParamID) 0x201, { 0, 4.0 }).ok);
    ASSERT_TRUE (service->setParameterValue ((QuellonParamID) 0x201, { 0, 3.0 }).ok);
    drain();

    Events params;
    for (auto& event : recorder.take())
        if (event.rfind ("param", 0) == 0)
            params.push_back (event);
    EXPECT_EQ (params, (Events { "param 0x205=-3.25/1", "param 0x201=4/0", "param 0x201=3/0" }));

    std::uint8_t bits[4];
    KorvaluneData::writeWord (Quellon::floatBits (-3.25f), bits);
    const auto frames = unit->getFrames();
    ASSERT_EQ (frames.size(), 3u);
    EXPECT_EQ (std::vector<std::uint8_t> (frames[0].bytes.begin(), frames[0].bytes.begin() + frames[0].length),
               linktest::bytes ({ SET_PARAMETER, 8, 0x05, 0x02, 0, 0, bits[0], bits[1], bits[2], bits[3] }));
    EXPECT_EQ (unit->getGlobals()[0x201], Quellon::floatBits (3.0f));

    ParameterValue value;
    ASSERT_TRUE (service->getParameterValue ((QuellonParamID) 0x205, value).ok);
    EXPECT_EQ (value.type, 1u);
    EXPECT_EQ (value.value, -3.25);
}

TEST_F (ServiceTasksTest, ParameterChangesThatCannotBeMadeChangeNothing)
{
    // Unknown, or outside the parameter's range: refused at once, without a report.
    expectFailure (service->setParameterValue ((QuellonParamID) 0x209, { 1, 0.5 }), "Parameter not found");
    for (double bad : { 12.5, -24.01, std::numeric_limits<double>::quiet_NaN() })
        expectFailure (service->setParameterValue ((QuellonParamID) 0x205, { 1, bad }), "Parameter value out of range: %f");
    EXPECT_TRUE (service->setParameterValue ((QuellonParamID) 0x205, { 1, 12.0 }).ok) << "the limit itself is fine";
    drain();
    EXPECT_TRUE (LogCapture::instance().contains ("Parameter value out of range"));

    // A write that fails is only logged: nothing stored, nobody told.
    connection->device.failingType = SET_PARAMETER;
    ASSERT_TRUE (service->setParameterValue ((QuellonParamID) 0x200, { 1, 0.25 }).ok);
    drain();
    EXPECT_TRUE (LogCapture::instance().contains ("hid_write failed"));
    ParameterValue value;
    ASSERT_TRUE (service->getParameterValue ((QuellonParamID) 0x200, value).ok);
    EXPECT_EQ (value.value, 1.0);

    EXPECT_EQ (countSent (SET_PARAMETER), 1);
    EXPECT_EQ (service->getState(), QuellonEditorService::Idle);
    EXPECT_EQ (service->getLastError(), "");
    EXPECT_EQ (recorder.count ("param 0x200=0.25/1"), 0);
}

TEST_F (ServiceTasksTest, BackupReadsEverythingAndHandsOverTheArchive)
{
    Progress progress;
    Gate gate;
    Archive received;
    int completions = 0;

    // Held at its first progress report, so the test sees it busy.
    ASSERT_TRUE (service
                     ->startBackup (
                         [&] (double value) {
                             progress.function() (value);
                             if (value == 0.0)
                                 gate.hold();
                         },
                         [&] (const Archive& archive) {
                             received = archive;
                             ++completions;
                         })
                     .ok);
    ASSERT_TRUE (gate.waitUntilHeld());
    EXPECT_EQ (service->getState(), QuellonEditorService::BackingUp);
    expectFailure (service->setParameterValue ((QuellonParamID) 0x200, { 1, 0.5 }), "Cannot start task while busy");
    // A cabinet refused while busy: globals and names are read again at the end.
    expectFailure (service->uploadUserCabinet (1, {}), "Cannot start task while busy");
    gate.release();

    ASSERT_TRUE (recorder.waitForEvent ("refresh"));
    drain();
    EXPECT_EQ (completions, 1);
    EXPECT_EQ (progress.taken(), (std::vector<double> { 0.0, 1.0 / 3.0, 2.0 / 3.0 }));
    EXPECT_EQ (recorder.seen (Recorder::From::tasks), (Events { "state 7", "state 1", "refresh" }));
    EXPECT_EQ (countSent (READ_REQUEST), 1 + 6 + 4);
    EXPECT_EQ (countSent (TRANSFER_START), 0) << "nothing written";

    ASSERT_NE (received.globals, nullptr);
    EXPECT_EQ (*received.globals, unit->getGlobals());
    EXPECT_EQ (received.versions, nullptr);
    EXPECT_EQ (received.firmware, nullptr);
    ASSERT_EQ (received.cabinets.size(), 3u);

    for (int slot = 0; slot < 3; ++slot)
    {
        const auto& cabinet = received.cabinets[(std::size_t) slot];
        EXPECT_EQ (cabinet.slot, slot);
        EXPECT_EQ (cabinet.name, "Unit " + std::to_string (slot));
        EXPECT_TRUE (std::equal (cabinet.samples.begin(), cabinet.samples.begin() + 1024, cabinet.samples.begin() + 1024))
            << "halves equal";
        EXPECT_EQ (cabinet.samples[5], (std::uint32_t) ((slot + 1) << 16) + 5);
    }

    EXPECT_TRUE (LogCapture::instance().contains ("Backup cabData 2"));
    EXPECT_TRUE (LogCapture::instance().contains ("Backup cabName 2"));
}

TEST_F (ServiceTasksTest, AFailedBackupReportsAndNeverCompletes)
{
    // The reads: globals, then data and name of each slot.
    const std::pair<int, const char*> cases[] = { { 1, "Failed to get globals" },
                                                  { 2, "Failed to get cabinet data" },
                                                  { 3, "Failed to get cabinet name" },
                                                  { 7, "Failed to get cabinet name" } };

    for (auto [at, message] : cases)
    {
        unit->addFault (fault (Fault::Kind::Nack, READ_REQUEST, at));
        bool completed = false;
        ASSERT_TRUE (service->startBackup ({}, [&] (const Archive&) { completed = true; }).ok);
        expectReportedFailure (message);
        EXPECT_FALSE (completed);
        replug();
    }
}

TEST_F (ServiceTasksTest, RestoreWritesWhatTheArchiveHoldsThenReadsEverything)
{
    Archive globalsOnly;
    globalsOnly.globals = std::make_unique<KorvaluneData::ParamMap> (
        KorvaluneData::ParamMap { { 0x200, Quellon::floatBits (0.75f) }, { 0x300, 7 } });
    ASSERT_TRUE (service->startRestore (globalsOnly, {}).ok);
    ASSERT_TRUE (recorder.waitForEvent ("refresh"));
    drain();

    EXPECT_EQ (unit->getGlobals()[0x300], 7u);
    EXPECT_EQ (countSent (TRANSFER_END), 1);
    EXPECT_EQ (recorder.seen (Recorder::From::tasks), (Events { "state 6", "state 1", "refresh" }));
    recorder.take();
    ParameterValue value;
    ASSERT_TRUE (service->getParameterValue ((QuellonParamID) 0x200, value).ok);
    EXPECT_EQ (value.value, 0.75);

    // Cabinets in any order of slots, each to its own slot.
    Archive cabinets;
    cabinets.cabinets = { recordOf (patternCabinet (30, "Three"), 2), recordOf (patternCabinet (10, "One"), 0) };
    Progress progress;
    ASSERT_TRUE (service->startRestore (cabinets, progress.function()).ok);
    cabinets.cabinets.clear(); // the task has its own copy
    ASSERT_TRUE (recorder.waitForEvent ("refresh"));
    drain();

    EXPECT_EQ (progress.taken(), (std::vector<double> { 2.0 / 3.0, 0.0 }));
    EXPECT_EQ (unit->getCabinet (2).words, patternCabinet (30, "").words);
    EXPECT_EQ (unit->getCabinet (0).name, "One");
    EXPECT_EQ (unit->getCabinet (1).name, "Unit 1");
    EXPECT_EQ (service->getUserCabinetName (2), "Three");
    EXPECT_TRUE (LogCapture::instance().contains ("Restoring cabName 0"));
}

TEST_F (ServiceTasksTest, AFailedRestoreStopsWhereItFailed)
{
    Archive archive;
    archive.globals = std::make_unique<KorvaluneData::ParamMap> (KorvaluneData::ParamMap { { 0x200, 0 } });
    archive.cabinets = { recordOf (patternCabinet (40, "First"), 0), recordOf (patternCabinet (50, "Second"), 1) };

    // The writes: globals, then data and name of each cabinet.
    const std::pair<int, const char*> cases[] = { { 1, "Failed to set globals" },
                                                  { 2, "Failed to set cabinet data" },
                                                  { 5, "Failed to set cabinet name" } };

    for (auto [at, message] : cases)
    {
        if (at > 1)
            replug();

        unit->addFault (fault (Fault::Kind::Nack, TRANSFER_START, at));
        ASSERT_TRUE (service->startRestore (archive, {}).ok);
        expectReportedFailure (message);
    }

    // The last case failed on the second name: everything before it stays written.
    EXPECT_EQ (unit->getGlobals()[0x200], 0u);
    EXPECT_EQ (unit->getCabinet (0).name, "First");
    EXPECT_EQ (unit->getCabinet (1).words, patternCabinet (50, "").words);
    EXPECT_EQ (unit->getCabinet (1).name, "Unit 1");

    // A slot the unit does not have is refused before anything is sent.
    replug();
    archive.cabinets.push_back (recordOf (patternCabinet (60, "Bad"), 3));
    EXPECT_FALSE (service->startRestore (archive, {}).ok);
    EXPECT_TRUE (LogCapture::instance().contains ("Invalid cabinet slot 3"));
    EXPECT_EQ (service->getState(), QuellonEditorService::Idle);
    EXPECT_TRUE (unit->getFrames().empty());
}

TEST_F (ServiceTasksTest, CabinetUploadGoesToTheGivenSlotWithoutAStateChange)
{
    const auto cabinet = recordOf (patternCabinet (70, "Imported"), 0);
    ASSERT_TRUE (service->uploadUserCabinet (2, cabinet).ok);
    ASSERT_TRUE (recorder.waitForEvent ("refresh"));
    drain();

    EXPECT_EQ (unit->getCabinet (2).words, patternCabinet (70, "").words);
    EXPECT_EQ (unit->getCabinet (2).name, "Imported");
    EXPECT_EQ (unit->getCabinet (0).name, "Unit 0");
    EXPECT_EQ (service->getUserCabinetName (2), "Imported");
    EXPECT_EQ (recorder.take(), (Events { "refresh", "state 1" })) << "the upload alone changes no state";

    EXPECT_FALSE (service->uploadUserCabinet (3, cabinet).ok);
    EXPECT_FALSE (service->uploadUserCabinet (-1, cabinet).ok);

    const std::pair<int, const char*> cases[] = { { 1, "Failed to set cabinet data" },
                                                  { 2, "Failed to set cabinet name" } };

    for (auto [at, message] : cases)
    {
        unit->addFault (fault (Fault::Kind::Nack, TRANSFER_START, at));
        ASSERT_TRUE (service->uploadUserCabinet (1, cabinet).ok);
        expectReportedFailure (message);
        replug();
    }
}

TEST_F (ServiceTasksTest, ACabinetDroppedDuringARefreshIsReadAgainAfterIt)
{
    Gate gate;
    QuellonEditorService::Listener holder;
    holder.onRefreshAll = [&gate, first = true]() mutable {
        if (std::exchange (first, false))
            gate.hold();
    };
    service->addListener (&holder);

    ASSERT_TRUE (service->startRefresh (false).ok);
    ASSERT_TRUE (gate.waitUntilHeld());
    // Past the refresh's read: only a second read sees this.
    unit->setCabinet (0, patternCabinet (80, "Late"));
    expectFailure (service->uploadUserCabinet (0, recordOf (patternCabinet (80, "Late"), 0)),
                   "Cannot start task while busy");
    EXPECT_EQ (service->getUserCabinetName (0), "Unit 0");
    gate.release();

    ASSERT_TRUE (recorder.waitForEvent ("refresh", 3));
    drain();
    service->removeListener (&holder);
    EXPECT_EQ (service->getUserCabinetName (0), "Late");
    EXPECT_EQ (countSent (READ_REQUEST), 8);
    EXPECT_EQ (countSent (TRANSFER_START), 0) << "the dropped cabinet is not sent";
}

//==============================================================================
// A unit that needs new firmware, takes it, leaves the bus and comes back.
class FirmwareUpdateTest : public ServiceTasksTest
{
protected:
    // Time enough for the unit to come back, even under a sanitizer.
    FirmwareUpdateTest() : ServiceTasksTest ({ 1ms, 2ms, 2s, 1ms }) {}

    void SetUp() override
    {
        fillCabinets();
        auto settings = unit->getSettings();
        settings.dsp = { 1, 1, 0, 0 };
        settings.nextDsp = { 1, 2, 0, 0 };
        settings.returnDelay = 50ms;
        unit->setSettings (settings);
        plugIn();
        ASSERT_TRUE (recorder.waitForState (QuellonEditorService::FirmwareUpdateRequired));
        recorder.take();
        unit->clearFrames();
        LogCapture::instance().clear();

        image.firmware = std::make_unique<std::vector<std::uint8_t>> (1000, 0x5A);
    }

    // What the application does when the unit leaves and when it comes back.
    void followTheUnit()
    {
        ASSERT_TRUE (unit->waitForPresence (false, vunit::Clock::now() + linktest::deadline));
        unplug();
        EXPECT_EQ (service->getState(), QuellonEditorService::UpdateComplete) << "kept while it waits";
    }

    void unitReturns()
    {
        ASSERT_TRUE (unit->waitForPresence (true, vunit::Clock::now() + linktest::deadline));
        plugIn();
    }

    Archive image;
};

TEST_F (FirmwareUpdateTest, TheUnitComesBackAndIsReadWithoutAConnectionCheck)
{
    Progress progress;
    ASSERT_TRUE (service->startFirmwareUpdate (image, progress.function()).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    expectFailure (service->startFirmwareUpdate (image, {}), "Cannot start task while busy");

    followTheUnit();
    EXPECT_EQ (unit->getFirmware(), *image.firmware);
    unitReturns();

    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    drain();
    // Of the test thread's calls (start, disconnect, connect, drain) only the start and the drain tell.
    EXPECT_EQ (recorder.seen (Recorder::From::testThread), (Events { "state 8", "state 1" }));
    EXPECT_EQ (recorder.seen (Recorder::From::tasks),
               (Events { "state 8", "state 9", "state 1", "state 3", "state 3", "refresh", "state 1", "refresh" }));
    EXPECT_EQ (countSent (VERSION_REQUEST), 1);
    EXPECT_EQ (countSent (MESSAGE_CE), 1);
    EXPECT_EQ (service->getUserCabinetName (0), "Unit 0");

    const auto values = progress.taken();
    ASSERT_EQ (values.size(), 17u);
    EXPECT_EQ (values.back(), 1.0);
    for (auto* line : { "Starting update", "Reconnecting", "Waiting for ready", "Update complete" })
        EXPECT_TRUE (LogCapture::instance().contains (line)) << line;
    EXPECT_FALSE (LogCapture::instance().contains ("EdSvc error")) << "the unit's leaving is no link error";

    // The unit that came back is served like any other: its link failing is an error.
    service->handleLinkState (LinkError);
    EXPECT_EQ (service->getLastError(), "A communication error occurred");
}

TEST_F (FirmwareUpdateTest, AUnitSilentAboutItsNewVersionDoesNotHoldTheEndOfTheUpdate)
{
    ASSERT_TRUE (service->startFirmwareUpdate (image, {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    followTheUnit();
    unit->addFault (fault (Fault::Kind::Silent, VERSION_REQUEST));

    // Requests wait longer than the test's deadline; the footer's read may not.
    ASSERT_TRUE (unit->waitForPresence (true, vunit::Clock::now() + linktest::deadline));
    plugIn (linktest::testLimits (60000, 200));
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    drain();

    KorvaluneData::DeviceVersionInfo version;
    EXPECT_TRUE (service->getDeviceVersion (version));
    EXPECT_EQ (version.dsp, KorvaluneData::InvalidVersion);
    EXPECT_TRUE (LogCapture::instance().contains (
        "WARNING: The unit did not report its version after the update: its firmware version is unknown"));
    EXPECT_EQ (service->getState(), QuellonEditorService::Idle);
}

TEST_F (FirmwareUpdateTest, AUnitBackWithItsOldVersionIsAskedForTheUpdateAgain)
{
    auto settings = unit->getSettings();
    settings.nextDsp = settings.dsp;
    unit->setSettings (settings);

    ASSERT_TRUE (service->startFirmwareUpdate (image, {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    followTheUnit();
    unitReturns();
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::FirmwareUpdateRequired));

    // As on its first connection: none of its values are read.
    EXPECT_EQ (recorder.seen (Recorder::From::tasks), (Events { "state 8", "state 9", "state 10" }));
    EXPECT_EQ (countSent (READ_REQUEST), 0);
    EXPECT_EQ (countSent (MESSAGE_CE), 0);
    EXPECT_TRUE (LogCapture::instance().contains (
        "WARNING: The unit still reports an old firmware version after the update (DSP 1.1.0)"));
    EXPECT_FALSE (LogCapture::instance().contains ("Update complete"));
}

TEST_F (FirmwareUpdateTest, AUnitThatNeverComesBackEndsTheWaitWithAnError)
{
    auto settings = unit->getSettings();
    settings.returnDelay = 1h;
    unit->setSettings (settings);

    ASSERT_TRUE (service->startFirmwareUpdate (image, {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    followTheUnit();
    expectReportedFailure ("Timeout waiting for reconnect");

    // Nothing waits any more: the unit, back at last, gets an ordinary connection.
    unit->plug();
    plugIn();
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
    EXPECT_EQ (countSent (VERSION_REQUEST), 1);
}

TEST_F (FirmwareUpdateTest, AFailedTransferOrACancelledWaitLetsGoOfTheWait)
{
    unit->addFault (fault (Fault::Kind::Nack, FIRMWARE_START));
    ASSERT_TRUE (service->startFirmwareUpdate (image, {}).ok);
    expectReportedFailure ("Failed to update DSP firmware");

    // From the error state an update may start again; this one is cancelled while it waits.
    auto settings = unit->getSettings();
    settings.returnDelay = 1h;
    unit->setSettings (settings);
    ASSERT_TRUE (service->startFirmwareUpdate (image, {}).ok);
    ASSERT_TRUE (recorder.waitForState (QuellonEditorService::UpdateComplete));
    ASSERT_TRUE (service->cancelAll().ok);
    ASSERT_TRUE (waitForFailure ("Task cancelled"));
    EXPECT_EQ (service->getState(), QuellonEditorService::UpdateComplete);
    EXPECT_EQ (service->getLastError(), "Failed to update DSP firmware") << "no report";

    // The unit still reboots into the image it took: its leaving the bus is
    // no link error, though nothing waits for it any more.
    service->handleLinkState (LinkError);
    EXPECT_EQ (service->getState(), QuellonEditorService::UpdateComplete);
    EXPECT_EQ (service->getLastError(), "Failed to update DSP firmware");

    unplug();
    EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected);
}

TEST_F (FirmwareUpdateTest, AnArchiveWithoutAnImageWaitsForNothing)
{
    ASSERT_TRUE (service->startFirmwareUpdate ({}, {}).ok);
    ASSERT_TRUE (recorder.waitForEvent ("refresh", 2));
    drain();
    EXPECT_TRUE (LogCapture::instance().contains ("WARNING: No firmware image to send"));
    EXPECT_EQ (countSent (FIRMWARE_START), 0);

    unplug();
    EXPECT_EQ (service->getState(), QuellonEditorService::Disconnected) << "no unit is awaited";
}
