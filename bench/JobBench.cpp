// The editor's three long jobs as the file actions run them, against the
// in-process virtual unit with 1 ms per report each way (a full-speed link):
//
// BackupJob: from the service call to the bundle file written by the
//   completion, as the main view writes it.
// RestoreJob: from reading that bundle to the end of the task, the unit's
//   globals and names read back included; its counter `load_ms` is the part
//   spent reading the bundle, which the wire bound leaves out.
// FirmwareUpdateJob: the placeholder image, built in as in the tests, from
//   the service call to the moment the unit has it all (the transfer; the
//   wait for the unit to come back is the unit's own time); its counter
//   `with_return_ms` adds the unit's return (after 100 ms here) and the
//   refresh that follows.
//
// The reference of each is the wire-bound minimum: 2 ms per exchange (a
// report out, its reply back) times the exchanges the job made, counted by
// the unit. Medians of the runs are reported as counters.

#include "Application/BackupArchive.h"
#include "Application/InStreamWrapper.h"
#include "BuiltInFirmware.h"
#include "PreciseTimers.h"
#include "Protocol/KorvaluneDataFile.h"
#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/KorvaluneUSBPacketIO.h"
#include "Protocol/Log.h"
#include "QuellonEditorService.h"
#include "VirtualUnitDevice.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>

using namespace Korvalune;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Service = Quellon::QuellonEditorService;

namespace
{
double median (std::vector<double> values)
{
    if (values.empty())
        return 0;

    std::nth_element (values.begin(), values.begin() + (long) values.size() / 2, values.end());
    return values[values.size() / 2];
}

double millisecondsSince (Clock::time_point start)
{
    return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
}

// What the application holds for a unit that arrived.
struct Connection
{
    explicit Connection (std::shared_ptr<vunit::VirtualUnit> unit)
        : device (std::move (unit))
    {
        while (protocol.getLinkState() != LinkUp)
            std::this_thread::yield();
    }

    vunit::VirtualUnitDevice device;
    KorvaluneUSBPacketIO transport { &device };
    KorvaluneProtocol protocol { &transport };
};

// A unit on a full-speed link, served by the service, and a way to wait for
// the service's states.
class Bench
{
public:
    Bench()
    {
        usePreciseTimers();
        setLogSink ([] (void*, const char*) {}, nullptr);

        vunit::UnitSettings settings;
        settings.wireTime = 1000us;
        settings.returnDelay = 100ms;
        unit = std::make_shared<vunit::VirtualUnit> ("virtual:bench", settings);

        for (int slot = 0; slot < 3; ++slot)
        {
            auto cabinet = unit->getCabinet (slot);
            for (std::size_t i = 0; i < cabinet.words.size(); ++i)
                cabinet.words[i] = (std::uint32_t) ((slot << 20) + i);
            cabinet.name = "Cabinet " + std::to_string (slot);
            unit->setCabinet (slot, cabinet);
        }

        listener.onStateChanged = [this] (Service::State)
        {
            std::lock_guard<std::mutex> lock (mutex);
            changed.notify_all();
        };
        service.addListener (&listener);
        plugIn();
    }

    ~Bench()
    {
        service.removeListener (&listener);
        service.disconnect();
        connection.reset();
    }

    void plugIn()
    {
        connection = std::make_unique<Connection> (unit);
        (void) service.connect (&connection->protocol);
        waitUntilSettled();
    }

    // The callbacks only wake the wait: the state they carry may be stale by
    // the time they run, so the service itself is asked.
    bool waitFor (Service::State wanted)
    {
        std::unique_lock<std::mutex> lock (mutex);
        return changed.wait_for (lock, 60s, [&] { return service.getState() == wanted; });
    }

    // Idle, with no task left to run: a drain task queued behind everything
    // ran, and nothing (such as the refresh that follows an update) was
    // queued meanwhile.
    bool waitUntilSettled()
    {
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            if (!waitFor (Service::Idle))
                return false;

            auto ran = std::make_shared<std::promise<void>>();
            auto done = ran->get_future();
            const auto queued = service.startIdleTask (
                [ran] (TaskQueue::Task&)
                {
                    ran->set_value();
                    return okResult;
                });

            if (queued.ok && (done.wait_for (60s) != std::future_status::ready))
                return false;

            if (queued.ok && service.getState() == Service::Idle)
                return true;
        }

        return false;
    }

    std::uint64_t exchangesSince (std::uint64_t before) { return unit->getStatus().framesReceived - before; }
    std::uint64_t frames() { return unit->getStatus().framesReceived; }

    std::shared_ptr<vunit::VirtualUnit> unit;
    Service service { nullptr, { 1ms, 2ms, 10s, 1ms } };
    std::unique_ptr<Connection> connection;

private:
    Service::Listener listener;
    std::mutex mutex;
    std::condition_variable changed;
};

void report (benchmark::State& state, const std::vector<double>& runs, std::uint64_t exchanges)
{
    const double wireBound = 2.0 * (double) exchanges;
    state.counters["exchanges"] = (double) exchanges;
    state.counters["median_ms"] = median (runs);
    state.counters["wire_bound_ms"] = wireBound;
    state.counters["ratio"] = wireBound > 0 ? median (runs) / wireBound : 0;
}

bool backUp (Bench& bench, const juce::File& target)
{
    std::promise<bool> written;
    auto result = written.get_future();
    const auto started = bench.service.startBackup ({},
        [&] (const Service::QuellonArchive& archive)
        { written.set_value (BackupArchive::create (archive, target).ok); });

    return started.ok && result.wait_for (60s) == std::future_status::ready && result.get();
}
} // namespace

static void BackupJob (benchmark::State& state)
{
    Bench bench;
    juce::TemporaryFile bundle (".bbu");
    std::vector<double> runs;
    std::uint64_t exchanges = 0;

    for (auto _ : state)
    {
        const auto before = bench.frames();
        const auto start = Clock::now();

        if (!backUp (bench, bundle.getFile()))
        {
            state.SkipWithError ("backup failed");
            break;
        }

        runs.push_back (millisecondsSince (start));
        exchanges = bench.exchangesSince (before);
        bench.waitUntilSettled();
    }

    report (state, runs, exchanges);
}
BENCHMARK (BackupJob)->Iterations (10)->Unit (benchmark::kMillisecond)->UseRealTime();

static void RestoreJob (benchmark::State& state)
{
    Bench bench;
    juce::TemporaryFile bundle (".bbu");

    if (!backUp (bench, bundle.getFile()) || !bench.waitUntilSettled())
    {
        state.SkipWithError ("no bundle to restore");
        return;
    }

    std::vector<double> runs, loads;
    std::uint64_t exchanges = 0;

    for (auto _ : state)
    {
        const auto before = bench.frames();
        const auto start = Clock::now();
        Service::QuellonArchive archive;
        const bool loaded = BackupArchive::load (archive, bundle.getFile()).ok;
        loads.push_back (millisecondsSince (start));

        if (!loaded || !bench.service.startRestore (archive, {}).ok || !bench.waitUntilSettled())
        {
            state.SkipWithError ("restore failed");
            break;
        }

        runs.push_back (millisecondsSince (start));
        exchanges = bench.exchangesSince (before);
    }

    report (state, runs, exchanges);
    state.counters["load_ms"] = median (loads);
}
BENCHMARK (RestoreJob)->Iterations (10)->Unit (benchmark::kMillisecond)->UseRealTime();

static void FirmwareUpdateJob (benchmark::State& state)
{
    Bench bench;
    std::vector<double> runs, withReturn;
    std::uint64_t exchanges = 0;

    for (auto _ : state)
    {
        const auto before = bench.frames();
        const auto start = Clock::now();
        Service::QuellonArchive archive;
        archive.firmware = std::make_unique<std::vector<std::uint8_t>>();
        juce::MemoryInputStream stream (BuiltInFirmware::getData(), BuiltInFirmware::getSize(), false);
        InStreamWrapper in (&stream);

        if (!loadFirmwareImage (in, *archive.firmware).ok || !bench.service.startFirmwareUpdate (archive, {}).ok)
        {
            state.SkipWithError ("firmware update refused");
            break;
        }

        if (!bench.waitFor (Service::UpdateComplete))
        {
            state.SkipWithError ("firmware update failed");
            break;
        }

        runs.push_back (millisecondsSince (start));
        exchanges = bench.exchangesSince (before);

        // What the application does as the unit leaves and comes back.
        const auto deadline = vunit::Clock::now() + 60s;
        if (!bench.unit->waitForPresence (false, deadline))
        {
            state.SkipWithError ("the unit did not leave");
            break;
        }

        bench.service.disconnect();
        bench.connection.reset();

        if (!bench.unit->waitForPresence (true, deadline))
        {
            state.SkipWithError ("the unit did not come back");
            break;
        }

        bench.plugIn();
        withReturn.push_back (millisecondsSince (start));
    }

    report (state, runs, exchanges);
    state.counters["with_return_ms"] = median (withReturn);
}
BENCHMARK (FirmwareUpdateJob)->Iterations (5)->Unit (benchmark::kMillisecond)->UseRealTime();
