#pragma once

#include "Protocol/DeviceMessage.h"
#include "Protocol/IDevicePacketIO.h"
#include "Protocol/KorvaluneData.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Korvalune
{

// The device protocol of one connected unit: requests and their replies,
// block transfers, the firmware transfer and the protocol's own link state,
// on top of a packet transport whose read thread delivers every message.
//
// Owns: the waiting requests' reply waiters. The transport is not owned; the
// protocol attaches itself to it on construction and detaches on destruction.
// Threads: the read thread calls handlePacket and handleLinkState (holding
// the transport's mutex); the task-queue worker runs the operations; the
// message thread constructs, destroys and sets the handler.
// Locks: `operationMutex` (one operation at a time) before `stateMutex`
// (waiters, link state, handler). Neither is held while a sender writes or
// while the handler is called.
class KorvaluneProtocol : public IDevicePacketIO::Handler
{
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;
        // Reserved for unsolicited reports of the unit; never called yet.
        virtual void handleParameterReport (std::uint32_t parameter, std::uint32_t value) = 0;
        virtual void handleStatusReport (std::uint32_t status) = 0;
        // The link state after every report of the transport, also an
        // unchanged one, and Error when a broken report breaks an up link.
        // Called on the read thread with no protocol lock held.
        virtual void handleLinkState (int state) = 0;
        virtual void handleDeviceEvent (std::uint32_t, std::uint32_t) {}
    };

    // How long a request waits for its reply. Tests pass shorter limits.
    struct TimeLimits
    {
        std::uint32_t requestMs = 60000;
        std::uint32_t connectionCheckMs = 3000;
    };

    struct ReplyBuffer
    {
        std::uint8_t* data;
        std::uint32_t capacity;
    };

    // Offered each well-formed message under `stateMutex`; true takes it.
    using ReplyWaiter = std::function<bool (const std::uint8_t* data, unsigned length)>;
    // Writes one message; called once per request without any protocol lock.
    using Sender = std::function<Result (int)>;
    using ProgressFunction = std::function<void (double)>;
    using ParamMap = KorvaluneData::ParamMap;

    // A read transfer that brings more than this fails: a unit that never
    // ends its transfer must not hold the worker forever.
    static constexpr std::uint32_t maxReadTransferBytes = 65536;

    explicit KorvaluneProtocol (IDevicePacketIO* packetIO);
    KorvaluneProtocol (IDevicePacketIO* packetIO, TimeLimits limits);
    ~KorvaluneProtocol() override;

    KorvaluneProtocol (const KorvaluneProtocol&) = delete;
    KorvaluneProtocol& operator= (const KorvaluneProtocol&) = delete;

    // Stores the handler without telling it the current state; null detaches.
    Result setHandler (Handler* handler);

    void handleLinkState (int state) override;
    // A broken report (shorter than its length byte says) is dropped and
    // breaks an up link: Up becomes Error and the handler is told.
    void handlePacket (const std::uint8_t* data, unsigned length) override;

    // Up becomes Error, silently: nobody is woken, the handler is not told.
    void markLinkError();
    // Error becomes Up, silently.
    void clearError();
    int getLinkState();
    const TimeLimits& getTimeLimits() const { return limits; }

    // Registers a waiter for `expectedTypes`, runs the sender and waits for
    // the reply, a link change away from Up or the time limit. Success with
    // *replied false means the time limit passed.
    Result sendAndWait (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes, std::uint32_t timeLimitMs,
                        bool* replied, const Sender& sender);
    // sendAndWait with the request time limit, or the one given; no reply is "Timeout".
    Result sendRequest (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes, const Sender& sender);
    Result sendRequest (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes, std::uint32_t timeLimitMs,
                        const Sender& sender);

    // The operations; each but sendMessageCE runs whole under operationMutex.
    Result setParameter (std::uint16_t parameter, const std::uint32_t& value);
    Result setCabinetData (int slot, const std::uint32_t* words);
    // Fails, leaving `words` alone, when the unit sends less than the whole block.
    Result getCabinetData (int slot, std::uint32_t* words);
    Result setGlobals (const ParamMap& params);
    Result getGlobals (ParamMap& params);
    Result setCabinetName (int slot, const std::string& name);
    Result getCabinetName (int slot, std::string& name);
    // `progress` runs on the caller's thread after each block is written,
    // with operationMutex held; it must not call the protocol.
    Result updateFirmware (const std::vector<std::uint8_t>& image, ProgressFunction progress);
    Result requestVersion (KorvaluneData::DeviceVersionInfo& info);
    // The same with a time limit of the caller's, for a reply that is only nice to have.
    Result requestVersion (KorvaluneData::DeviceVersionInfo& info, std::uint32_t timeLimitMs);
    // accepted is true only when the unit acknowledged; silence is no failure.
    Result requestConnection (bool& accepted);
    Result sendMessageCE();

private:
    struct PendingRequest;

    struct WaiterEntry
    {
        const PendingRequest* owner;
        ReplyWaiter take;
    };

    // Up becomes Error, and the handler is told (after stateMutex is released).
    void breakLink();
    bool receiveIntoBuffer (PendingRequest& request, const std::uint8_t* data, unsigned length);
    Result awaitReply (std::unique_lock<std::mutex>& lock, PendingRequest& request, std::uint32_t timeLimitMs);
    Result request (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes, const DeviceMessage& message);
    Result writeMessage (const DeviceMessage& message);
    Result writeChunk (std::uint8_t type, const std::uint8_t* data, unsigned length);
    Result failAndMark (Result result);
    Result sendAcknowledged (ReplyBuffer& reply, const Sender& sender);

    Result writeTransfer (std::uint8_t kind, std::uint16_t index, const std::uint8_t* data, std::uint32_t size);
    Result readTransfer (std::uint8_t kind, std::uint16_t index, std::uint8_t* destination, std::uint32_t capacity,
                         std::uint32_t* received);
    Result writeFirmware (const std::uint8_t* data, std::uint32_t size, const ProgressFunction& progress);

    std::mutex stateMutex;
    std::mutex operationMutex;
    std::condition_variable replyCondition;
    IDevicePacketIO* const packetIO;
    std::vector<WaiterEntry> waiters;
    Handler* handler = nullptr;
    int linkState = LinkUp;
    const TimeLimits limits;
};

} // namespace Korvalune
