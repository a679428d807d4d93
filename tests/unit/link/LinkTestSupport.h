#pragma once

// Shared pieces of the link tests: a device wrapper that lets a test see and
// fail device calls, recorders for the callbacks of the transport and the
// protocol, and a whole link (unit, device, transport, protocol) to run
// operations against.

#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/KorvaluneUSBPacketIO.h"
#include "VirtualUnitDevice.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace linktest
{

using namespace std::chrono_literals;

inline constexpr auto deadline = 20s;

// A condition with a generous deadline: tests wait for events, never sleep.
class Signal
{
public:
    template <typename Change>
    void update (Change&& change)
    {
        std::lock_guard<std::mutex> lock (mutex);
        change();
        condition.notify_all();
    }

    bool waitFor (const std::function<bool()>& predicate, std::chrono::milliseconds limit = deadline)
    {
        std::unique_lock<std::mutex> lock (mutex);
        return condition.wait_for (lock, limit, predicate);
    }

    std::mutex mutex;

private:
    std::condition_variable condition;
};

// Wraps a device to count its calls and to make writes fail, or fall short,
// on demand.
class ObservedDevice : public Korvalune::IUSBHIDDevice
{
public:
    explicit ObservedDevice (Korvalune::IUSBHIDDevice& d) : device (d) {}

    int read (std::uint8_t* buffer, std::size_t length, int timeoutMs) override
    {
        const int result = device.read (buffer, length, timeoutMs);
        signal.update ([&] { ++reads; });
        return result;
    }

    int write (const std::uint8_t* data, std::size_t length) override
    {
        bool fail, fallShort;
        signal.update ([&] { fail = failWrites; fallShort = shortWrites; ++writes; });

        if (fail)
            return -1;

        const int written = device.write (data, length);
        return fallShort && written > 0 ? written - 1 : written;
    }

    void close() override { device.close(); }
    std::uint16_t getVendorId() const override { return device.getVendorId(); }
    std::uint16_t getProductId() const override { return device.getProductId(); }

    void setFailWrites (bool fail)
    {
        signal.update ([&] { failWrites = fail; });
    }

    void setShortWrites (bool fallShort)
    {
        signal.update ([&] { shortWrites = fallShort; });
    }

    bool waitForWrites (int count)
    {
        return signal.waitFor ([&] { return writes >= count; });
    }

    bool waitForReads (int count)
    {
        return signal.waitFor ([&] { return reads >= count; });
    }

    int getWrites()
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        return writes;
    }

private:
    Korvalune::IUSBHIDDevice& device;
    Signal signal;
    int reads = 0;
    int writes = 0;
    bool failWrites = false;
    bool shortWrites = false;
};

// Records what a transport tells its handler.
class TransportEvents : public Korvalune::IDevicePacketIO::Handler
{
public:
    void handleLinkState (int state) override
    {
        signal.update ([&] { states.push_back (state); });
    }

    void handlePacket (const std::uint8_t* data, unsigned length) override
    {
        signal.update ([&] { packets.emplace_back (data, data + length); });
    }

    bool waitForState (int state)
    {
        return signal.waitFor ([&] { return ! states.empty() && states.back() == state; });
    }

    bool waitForPackets (std::size_t count)
    {
        return signal.waitFor ([&] { return packets.size() >= count; });
    }

    std::vector<int> getStates()
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        return states;
    }

    std::vector<std::vector<std::uint8_t>> getPackets()
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        return packets;
    }

private:
    Signal signal;
    std::vector<int> states;
    std::vector<std::vector<std::uint8_t>> packets;
};

// Records what a protocol tells its handler.
class ProtocolEvents : public Korvalune::KorvaluneProtocol::Handler
{
public:
    void handleParameterReport (std::uint32_t, std::uint32_t) override {}
    void handleStatusReport (std::uint32_t) override {}

    void handleLinkState (int state) override
    {
        signal.update ([&] { states.push_back (state); });
    }

    bool waitForState (int state)
    {
        return signal.waitFor ([&] { return ! states.empty() && states.back() == state; });
    }

    std::vector<int> getStates()
    {
        std::lock_guard<std::mutex> lock (signal.mutex);
        return states;
    }

private:
    Signal signal;
    std::vector<int> states;
};

// Short limits keep failure tests quick; success paths never come near them.
inline Korvalune::KorvaluneProtocol::TimeLimits testLimits (std::uint32_t requestMs = 10000,
                                                           std::uint32_t connectionCheckMs = 10000)
{
    return { requestMs, connectionCheckMs };
}

inline constexpr int testReadTimeoutMs = 20;

// A unit with the real transport and protocol on it, the link up.
struct Link
{
    explicit Link (vunit::UnitSettings settings = {}, Korvalune::KorvaluneProtocol::TimeLimits limits = testLimits())
        : unit (std::make_shared<vunit::VirtualUnit> ("virtual:test", std::move (settings))),
          device (unit),
          observed (device),
          transport (&observed, testReadTimeoutMs),
          protocol (&transport, limits)
    {
        (void) protocol.setHandler (&events);
        EXPECT_TRUE (protocol.getLinkState() == Korvalune::LinkUp || events.waitForState (Korvalune::LinkUp));
        LogCapture::instance().clear();
    }

    std::shared_ptr<vunit::VirtualUnit> unit;
    vunit::VirtualUnitDevice device;
    ObservedDevice observed;
    Korvalune::KorvaluneUSBPacketIO transport;
    // A detached handler may still be inside a call until the protocol is
    // gone, so it outlives the protocol.
    ProtocolEvents events;
    Korvalune::KorvaluneProtocol protocol;

    // The frames the unit received, as byte vectors.
    std::vector<std::vector<std::uint8_t>> frames()
    {
        std::vector<std::vector<std::uint8_t>> result;

        for (auto& frame : unit->getFrames())
            result.emplace_back (frame.bytes.begin(), frame.bytes.begin() + frame.length);

        return result;
    }
};

inline void expectFailure (const Korvalune::Result& result, const char* message)
{
    EXPECT_FALSE (result.ok);
    ASSERT_NE (result.message, nullptr);
    EXPECT_STREQ (result.message, message);
}

inline std::vector<std::uint8_t> bytes (std::initializer_list<int> list)
{
    std::vector<std::uint8_t> result;

    for (int b : list)
        result.push_back ((std::uint8_t) b);

    return result;
}

inline vunit::VirtualUnit::Fault fault (vunit::VirtualUnit::Fault::Kind kind, int type = -1, int at = 1, int times = 1)
{
    vunit::VirtualUnit::Fault f;
    f.kind = kind;
    f.type = type;
    f.at = at;
    f.times = times;
    return f;
}

} // namespace linktest
