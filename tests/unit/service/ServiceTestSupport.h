#pragma once

// Shared pieces of the service tests: the application's side of a unit (its
// device, transport and protocol), a listener that records every callback,
// and a fixture that plugs and unplugs a virtual unit the way the
// application does.

#include "QuellonEditorService.h"
#include "unit/link/LinkTestSupport.h"

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <string>
#include <vector>

namespace servicetest
{

using namespace std::chrono_literals;
using Quellon::QuellonEditorService;
using State = QuellonEditorService::State;
using Fault = vunit::VirtualUnit::Fault;
using ParameterValue = QuellonEditorService::ParameterValue;
using linktest::expectFailure;
using linktest::fault;

// Short waits keep the suite quick; the defaults are the product's.
inline QuellonEditorService::Timing fastTiming()
{
    return { 1ms, 2ms, 200ms, 1ms };
}

inline const QuellonEditorService::DeviceVersionInfo& requiredVersions()
{
    static const QuellonEditorService::DeviceVersionInfo required { { 0, 0, 0, 0 }, { 1, 2, 0, 0 }, 0 };
    return required;
}

// The unit's device as the transport sees it; a test can make the writes of
// one message type fail.
class TapDevice : public Korvalune::IUSBHIDDevice
{
public:
    explicit TapDevice (std::shared_ptr<vunit::VirtualUnit> unit) : device (std::move (unit)) {}

    int read (std::uint8_t* buffer, std::size_t length, int timeoutMs) override
    {
        return device.read (buffer, length, timeoutMs);
    }

    int write (const std::uint8_t* data, std::size_t length) override
    {
        const int type = length > 1 ? data[1] : -1;
        const int result = type == failingType ? -1 : device.write (data, length);
        written.update ([&] { ++writes[type]; });
        return result;
    }

    // Waits until `count` messages of `type` have been written (or tried).
    bool waitForWrites (int type, int count)
    {
        return written.waitFor ([&] { return writes[type] >= count; });
    }

    void close() override { device.close(); }
    std::uint16_t getVendorId() const override { return device.getVendorId(); }
    std::uint16_t getProductId() const override { return device.getProductId(); }

    std::atomic<int> failingType { -1 };

private:
    vunit::VirtualUnitDevice device;
    linktest::Signal written;
    std::map<int, int> writes;
};

// What the application builds for an arrived unit, in its order of
// destruction: protocol, then transport.
struct Connection
{
    Connection (std::shared_ptr<vunit::VirtualUnit> unit, Korvalune::KorvaluneProtocol::TimeLimits limits)
        : device (std::move (unit)), transport (&device, linktest::testReadTimeoutMs), protocol (&transport, limits)
    {
        (void) protocol.setHandler (&linkWatch);
        EXPECT_TRUE (protocol.getLinkState() == Korvalune::LinkUp || linkWatch.waitForState (Korvalune::LinkUp));
    }

    TapDevice device;
    Korvalune::KorvaluneUSBPacketIO transport;
    linktest::ProtocolEvents linkWatch;
    Korvalune::KorvaluneProtocol protocol;
};

// Records every callback in order, as text: "state N", "refresh",
// "param 0xID=VALUE/TYPE". A state callback carries the state at the time of
// the call, so the start operation's own call on the test thread may come
// after the task's first ones and name a later state: tests that race with
// a task look at the calls of each side apart.
class Recorder : public QuellonEditorService::Listener
{
public:
    Recorder()
    {
        onRefreshAll = [this] { add ("refresh"); };
        onStateChanged = [this] (State state) { add ("state " + std::to_string ((int) state), state); };
        onParameterChanged = [this] (QuellonParamID id, const ParameterValue& value) {
            char text[64];
            std::snprintf (text, sizeof (text), "param 0x%X=%g/%u", (unsigned) id, value.value, value.type);
            add (text);
        };
    }

    bool waitForState (State state, std::chrono::milliseconds limit = linktest::deadline)
    {
        return signal.waitFor ([&] { return lastState == state; }, limit);
    }

    bool waitForEvent (const std::string& event, int times = 1)
    {
        return signal.waitFor ([&] { return countLocked (event) >= times; });
    }

    enum class From
    {
        anyThread,
        tasks,       // the worker and the read thread
        testThread   // the start operations, connect and disconnect
    };

    // The calls since the last take, in order.
    std::vector<std::string> seen (From from)
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        std::vector<std::string> result;

        for (auto& e : events)
            if (from == From::anyThread || (e.thread == testThread) == (from == From::testThread))
                result.push_back (e.text);

        return result;
    }

    std::vector<std::string> take()
    {
        auto all = seen (From::anyThread);
        std::lock_guard<std::mutex> lock (signal.mutex);
        events.clear();
        return all;
    }

    int count (const std::string& event)
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        return countLocked (event);
    }

private:
    struct Event
    {
        std::string text;
        std::thread::id thread;
    };

    void add (std::string text, std::optional<State> state = std::nullopt)
    {
        signal.update ([&] {
            events.push_back ({ std::move (text), std::this_thread::get_id() });
            if (state)
                lastState = *state;
        });
    }

    int countLocked (const std::string& text)
    {
        return (int) std::count_if (events.begin(), events.end(), [&] (const Event& e) { return e.text == text; });
    }

    const std::thread::id testThread = std::this_thread::get_id();
    linktest::Signal signal;
    std::vector<Event> events;
    State lastState = QuellonEditorService::Disconnected;
};

inline std::string stateEvent (State state)
{
    return "state " + std::to_string ((int) state);
}

// One virtual unit and a service with a recording listener. plugIn and
// unplug do what the application does when the unit arrives and goes.
class ServiceTest : public ::testing::Test
{
protected:
    explicit ServiceTest (vunit::UnitSettings settings = {}, QuellonEditorService::Timing timing = fastTiming())
        : unit (std::make_shared<vunit::VirtualUnit> ("virtual:service", std::move (settings))),
          service (std::make_unique<QuellonEditorService> (&requiredVersions(), timing))
    {
        service->addListener (&recorder);
        LogCapture::instance().clear();
    }

    ~ServiceTest() override
    {
        service->removeListener (&recorder);
        unplug();
        service.reset();
    }

    void plugIn (Korvalune::KorvaluneProtocol::TimeLimits limits = linktest::testLimits())
    {
        connection = std::make_unique<Connection> (unit, limits);
        (void) service->connect (&connection->protocol);
    }

    void unplug()
    {
        if (connection == nullptr)
            return;

        service->disconnect();
        connection.reset();
    }

    // Connected, refreshed, and the refresh's last message sent.
    void plugInAndSettle()
    {
        plugIn();
        ASSERT_TRUE (recorder.waitForState (QuellonEditorService::Idle));
        drain();
        recorder.take();
        unit->clearFrames();
        LogCapture::instance().clear();
    }

    // Waits until every task queued so far has run; the service must be idle.
    void drain()
    {
        linktest::Signal ran;
        bool done = false;
        ASSERT_TRUE (service
                         ->startIdleTask ([&] (Korvalune::TaskQueue::Task&) {
                             ran.update ([&] { done = true; });
                             return Korvalune::okResult;
                         })
                         .ok);
        ASSERT_TRUE (ran.waitFor ([&] { return done; }));
    }

    // Waits for the failure line a task makes as its last step:
    // "Error at QuellonEditorService.cpp:<line>: <message>".
    static bool waitForFailure (const std::string& message)
    {
        return LogCapture::instance().waitFor ([&] (const std::string& line) {
            return line.rfind ("Error at QuellonEditorService.cpp:", 0) == 0
                   && line.size() > message.size() && line.compare (line.size() - message.size() - 2, std::string::npos, ": " + message) == 0;
        });
    }

    std::vector<int> typesSent()
    {
        std::vector<int> types;

        for (auto& frame : unit->getFrames())
            types.push_back (frame.bytes[0]);

        return types;
    }

    int countSent (int type)
    {
        auto types = typesSent();
        return (int) std::count (types.begin(), types.end(), type);
    }

    std::shared_ptr<vunit::VirtualUnit> unit;
    Recorder recorder;
    std::unique_ptr<QuellonEditorService> service;
    std::unique_ptr<Connection> connection;
};

} // namespace servicetest
