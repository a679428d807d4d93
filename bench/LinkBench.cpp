// The cost of the USB link: transport and protocol against the in-process
// virtual unit.
//
// LinkExchange: request/reply exchanges with no wire time, so what is
//   measured is our own cost per exchange (two thread hand-offs, the
//   transport's lock, the protocol's waiter). Its reference, ThreadPingPong,
//   is the bare minimum of those two hand-offs: a round trip between two
//   threads over condition variables.
// BackupSequence: globals and three cabinets with their names, as a backup
//   reads them, against a unit with 1 ms per report each way; its reference is
//   the wire-bound minimum of 2 ms per exchange.
//
// Each reports its median per exchange (or per run) as a counter besides
// Google Benchmark's means; the first two also the CPU time of the whole
// process per exchange, both threads and the kernel included.

#include "PreciseTimers.h"
#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/KorvaluneUSBPacketIO.h"
#include "Protocol/Log.h"
#include "VirtualUnitDevice.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace Korvalune;
using Clock = std::chrono::steady_clock;

namespace
{
double median (std::vector<double> values)
{
    if (values.empty())
        return 0;

    std::nth_element (values.begin(), values.begin() + (long) values.size() / 2, values.end());
    return values[values.size() / 2];
}

struct Link
{
    explicit Link (vunit::UnitSettings settings)
        : unit (std::make_shared<vunit::VirtualUnit> ("virtual:bench", settings)),
          device (unit),
          transport (&device),
          protocol (&transport)
    {
        // The read thread reports Up as soon as it runs.
        while (protocol.getLinkState() != LinkUp)
            std::this_thread::yield();
    }

    std::shared_ptr<vunit::VirtualUnit> unit;
    vunit::VirtualUnitDevice device;
    KorvaluneUSBPacketIO transport;
    KorvaluneProtocol protocol;
};

void silenceLog()
{
    setLogSink ([] (void*, const char*) {}, nullptr);
}
} // namespace

static void ThreadPingPong (benchmark::State& state)
{
    std::mutex mutex;
    std::condition_variable ping, pong;
    std::uint64_t sent = 0, answered = 0;
    bool stop = false;

    std::thread echo ([&] {
        std::unique_lock<std::mutex> lock (mutex);

        for (;;)
        {
            ping.wait (lock, [&] { return stop || sent > answered; });

            if (stop)
                return;

            ++answered;
            pong.notify_one();
        }
    });

    std::vector<double> times;

    for (auto _ : state)
    {
        const auto start = Clock::now();
        std::unique_lock<std::mutex> lock (mutex);
        ++sent;
        ping.notify_one();
        pong.wait (lock, [&] { return answered == sent; });
        times.push_back (std::chrono::duration<double, std::micro> (Clock::now() - start).count());
    }

    {
        std::lock_guard<std::mutex> lock (mutex);
        stop = true;
        ping.notify_one();
    }

    echo.join();
    state.counters["median_us"] = median (times);
}
BENCHMARK (ThreadPingPong)->MinTime (2.0)->MeasureProcessCPUTime()->UseRealTime();

static void LinkExchange (benchmark::State& state)
{
    silenceLog();
    vunit::UnitSettings settings;
    settings.frameLogLimit = 0;
    Link link (settings);
    std::vector<double> times;

    for (auto _ : state)
    {
        const auto start = Clock::now();
        bool accepted = false;

        if (! link.protocol.requestConnection (accepted).ok || ! accepted)
        {
            state.SkipWithError ("exchange failed");
            break;
        }

        times.push_back (std::chrono::duration<double, std::micro> (Clock::now() - start).count());
    }

    state.counters["median_us"] = median (times);
}
BENCHMARK (LinkExchange)->MinTime (2.0)->MeasureProcessCPUTime()->UseRealTime();

static void BackupSequence (benchmark::State& state)
{
    usePreciseTimers();
    silenceLog();
    vunit::UnitSettings settings;
    settings.wireTime = std::chrono::microseconds (1000);
    Link link (settings);

    std::vector<double> runs;
    std::uint64_t exchanges = 0;

    for (auto _ : state)
    {
        link.unit->clearFrames();
        const auto start = Clock::now();
        KorvaluneData::ParamMap globals;
        std::vector<std::uint32_t> words (1024);
        std::string name;
        bool ok = link.protocol.getGlobals (globals).ok;

        for (int slot = 0; slot < 3 && ok; ++slot)
            ok = link.protocol.getCabinetData (slot, words.data()).ok && link.protocol.getCabinetName (slot, name).ok;

        if (! ok)
        {
            state.SkipWithError ("backup failed");
            break;
        }

        runs.push_back (std::chrono::duration<double, std::milli> (Clock::now() - start).count());
        exchanges = link.unit->getStatus().framesReceived;
    }

    const double wireBound = 2.0 * (double) exchanges;
    state.counters["exchanges"] = (double) exchanges;
    state.counters["median_ms"] = median (runs);
    state.counters["wire_bound_ms"] = wireBound;
    state.counters["ratio"] = wireBound > 0 ? median (runs) / wireBound : 0;
}
BENCHMARK (BackupSequence)->Iterations (10)->Unit (benchmark::kMillisecond);
