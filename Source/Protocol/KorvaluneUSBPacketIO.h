#pragma once

#include "Protocol/IDevicePacketIO.h"
#include "Protocol/IUSBHIDDevice.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace Korvalune
{

// Carries the protocol's messages over one opened HID device: each message
// goes out as one output report (report id 0), and a read thread hands every
// input report and every change of the link state to the handler.
//
// Owns: the read thread. The device is not owned and never closed here.
// Threads: the read thread delivers; the task-queue worker writes; the
// message thread constructs, sets the handler and deletes.
// Locks: `mutex` guards handler and linkState and is held around every
// device write and every handler call, so a detached handler is never called
// again. Order: `mutex`, then what the handler takes (the protocol's state
// mutex), then the device's own mutex for a write.
class KorvaluneUSBPacketIO : public IDevicePacketIO
{
public:
    static constexpr int defaultReadTimeoutMs = 1000;
    static constexpr unsigned maxMessageLength = 64;

    // Starts the read thread at once, before any handler is set. A shorter
    // read time limit makes stop() quicker; tests use one.
    explicit KorvaluneUSBPacketIO (IUSBHIDDevice* device, int readTimeoutMs = defaultReadTimeoutMs);
    ~KorvaluneUSBPacketIO() override;

    KorvaluneUSBPacketIO (const KorvaluneUSBPacketIO&) = delete;
    KorvaluneUSBPacketIO& operator= (const KorvaluneUSBPacketIO&) = delete;

    Result setHandler (Handler* handler) override;
    Result writePacket (const std::uint8_t* data, unsigned length) override;

    // A transport whose read failed stays in Error: start() does not revive it.
    void start();
    // Joins the read thread: up to one read time limit plus a packet in hand.
    void stop();

    int getReadTimeoutMs() const { return readTimeoutMs; }

    // True once a read or a write of the device has failed: its handle is
    // dead (the unit was unplugged, perhaps plugged in again under the same
    // path) and only opening the device afresh reaches the unit again. A
    // refused or garbled reply leaves the handle alive. Any thread.
    bool hasDeadHandle() const { return deadHandle; }

private:
    void readLoop();
    void reportReadError();
    void reportLinkState (int state);

    IUSBHIDDevice* const device;
    const int readTimeoutMs;
    std::mutex mutex;
    std::thread readThread;
    std::atomic<bool> running { false };
    std::atomic<bool> deadHandle { false };
    Handler* handler = nullptr;
    int linkState = LinkDown;
};

} // namespace Korvalune
