#include "Protocol/KorvaluneProtocol.h"

#include "Protocol/Log.h"
#include "Protocol/TransferChecksum.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace Korvalune
{

namespace
{
const std::vector<std::uint8_t> ackOrNack { ACK, NACK };
const std::vector<std::uint8_t> transferStartOrNack { TRANSFER_START, NACK };
const std::vector<std::uint8_t> transferDataEndOrNack { TRANSFER_DATA, TRANSFER_END, NACK };

constexpr std::uint32_t replyBufferSize = maxMessageLength;
} // namespace

// One request's side of the exchange with its waiter. Lives on the
// requesting thread's stack; the waiter writes it under stateMutex.
struct KorvaluneProtocol::PendingRequest
{
    const std::vector<std::uint8_t>& expectedTypes;
    ReplyBuffer& reply;
    bool* replied;
    Result result { false, nullptr };
    bool stillWaiting = true;
};

KorvaluneProtocol::KorvaluneProtocol (IDevicePacketIO* io) : KorvaluneProtocol (io, TimeLimits())
{
}

KorvaluneProtocol::KorvaluneProtocol (IDevicePacketIO* io, TimeLimits timeLimits)
    : packetIO (io), limits (timeLimits)
{
    // The transport reports its current state from inside this call.
    (void) packetIO->setHandler (this);
}

KorvaluneProtocol::~KorvaluneProtocol()
{
    // Once detached, nothing more arrives from the read thread.
    (void) packetIO->setHandler (nullptr);

    {
        std::lock_guard<std::mutex> lock (stateMutex);
        linkState = LinkDown;
        replyCondition.notify_all();
    }

    // A woken operation has returned once its mutex is free.
    std::lock_guard<std::mutex> wait (operationMutex);
}

Result KorvaluneProtocol::setHandler (Handler* newHandler)
{
    std::lock_guard<std::mutex> lock (stateMutex);
    handler = newHandler;
    return okResult;
}

int KorvaluneProtocol::getLinkState()
{
    std::lock_guard<std::mutex> lock (stateMutex);
    return linkState;
}

void KorvaluneProtocol::handleLinkState (int state)
{
    const int mapped = state == 0 ? LinkDown : (state == 1 ? LinkUp : LinkError);
    Handler* current;

    {
        std::lock_guard<std::mutex> lock (stateMutex);
        linkState = mapped;
        replyCondition.notify_all();
        current = handler;
    }

    if (current != nullptr)
        current->handleLinkState (mapped);
}

void KorvaluneProtocol::handlePacket (const std::uint8_t* data, unsigned length)
{
    if (length < 2)
    {
        (void) KORVALUNE_ERROR ("Short packet/msg!");
        breakLink();
        return;
    }

    const unsigned messageLength = data[1] + 2u;

    if (length < messageLength)
    {
        (void) KORVALUNE_ERROR ("Packet/msg length mismatch! (%d != %d)", (int) length, (int) messageLength);
        breakLink();
        return;
    }

    {
        std::lock_guard<std::mutex> lock (stateMutex);

        for (auto& waiter : waiters)
            if (waiter.take (data, messageLength))
                return;
    }

    // The unit's own reports that the editor does not use.
    if (data[0] == MESSAGE_CE || (data[0] == MESSAGE_CF && data[1] >= 8))
        return;

    logMessage (LogWarning, "Unhandled packet!");
}

void KorvaluneProtocol::markLinkError()
{
    std::lock_guard<std::mutex> lock (stateMutex);

    if (linkState == LinkUp)
        linkState = LinkError;
}

void KorvaluneProtocol::breakLink()
{
    Handler* current = nullptr;

    {
        std::lock_guard<std::mutex> lock (stateMutex);

        if (linkState != LinkUp)
            return;

        linkState = LinkError;
        current = handler;
    }

    // No operation may be under way to fail and report it: the unit's link
    // is broken all the same, so the handler hears of it as of a failed
    // transport. A waiting request is left to its reply or its time limit.
    if (current != nullptr)
        current->handleLinkState (LinkError);
}

void KorvaluneProtocol::clearError()
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::lock_guard<std::mutex> lock (stateMutex);

    if (linkState == LinkError)
        linkState = LinkUp;
}

Result KorvaluneProtocol::sendAndWait (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes,
                                       std::uint32_t timeLimitMs, bool* replied, const Sender& sender)
{
    *replied = false;
    PendingRequest request { expectedTypes, reply, replied };

    {
        std::lock_guard<std::mutex> lock (stateMutex);

        if (linkState != LinkUp)
            return KORVALUNE_ERROR ("Invalid state");

        auto waiter = [this, &request] (const std::uint8_t* data, unsigned length) {
            return receiveIntoBuffer (request, data, length);
        };
        waiters.push_back ({ &request, waiter });
    }

    // No lock held: the reply may be taken before the sender returns.
    const Result sent = sender (0);

    std::unique_lock<std::mutex> lock (stateMutex);
    const Result outcome = sent.ok ? awaitReply (lock, request, timeLimitMs) : sent;

    waiters.erase (std::find_if (waiters.begin(), waiters.end(),
                                 [&] (const WaiterEntry& entry) { return entry.owner == &request; }));
    return outcome;
}

// The waiter of one request; runs under stateMutex, on the read thread.
bool KorvaluneProtocol::receiveIntoBuffer (PendingRequest& request, const std::uint8_t* data, unsigned length)
{
    auto& types = request.expectedTypes;

    // A request takes one reply; a second one is nobody's.
    if (! request.stillWaiting || std::find (types.begin(), types.end(), data[0]) == types.end())
        return false;

    if (length > request.reply.capacity)
    {
        request.result = KORVALUNE_ERROR ("Buffer too small: %d > %d", (int) length, (int) request.reply.capacity);
    }
    else
    {
        std::memcpy (request.reply.data, data, length);
        request.result = okResult;
    }

    request.stillWaiting = false;
    *request.replied = true;
    replyCondition.notify_all();
    return true;
}

Result KorvaluneProtocol::awaitReply (std::unique_lock<std::mutex>& lock, PendingRequest& pending,
                                      std::uint32_t timeLimitMs)
{
    for (;;)
    {
        if (! pending.stillWaiting)
            return pending.result;

        if (linkState != LinkUp)
            return KORVALUNE_ERROR ("Disconnect/error while waiting");

        // Every wake-up that finds the request still waiting with the link
        // up waits the full limit again.
        if (replyCondition.wait_for (lock, std::chrono::milliseconds (timeLimitMs)) == std::cv_status::timeout)
            return pending.stillWaiting ? okResult : pending.result;
    }
}

Result KorvaluneProtocol::sendRequest (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes,
                                       const Sender& sender)
{
    return sendRequest (reply, expectedTypes, limits.requestMs, sender);
}

Result KorvaluneProtocol::sendRequest (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes,
                                       std::uint32_t timeLimitMs, const Sender& sender)
{
    bool replied = false;
    const Result result = sendAndWait (reply, expectedTypes, timeLimitMs, &replied, sender);

    if (result.ok && ! replied)
        return KORVALUNE_ERROR ("Timeout");

    return result;
}

Result KorvaluneProtocol::request (ReplyBuffer& reply, const std::vector<std::uint8_t>& expectedTypes,
                                   const DeviceMessage& message)
{
    return sendRequest (reply, expectedTypes, [this, &message] (int) { return writeMessage (message); });
}

Result KorvaluneProtocol::writeMessage (const DeviceMessage& message)
{
    return packetIO->writePacket (message.data(), message.length);
}

Result KorvaluneProtocol::writeChunk (std::uint8_t type, const std::uint8_t* data, unsigned length)
{
    if (length > maxPayloadLength)
        return KORVALUNE_ERROR ("Payload too big");

    return writeMessage (makeMessage (type, data, length));
}

Result KorvaluneProtocol::failAndMark (Result result)
{
    markLinkError();
    return result;
}

// One block message of a write or firmware transfer: anything but an ACK
// ends the transfer and marks the link.
Result KorvaluneProtocol::sendAcknowledged (ReplyBuffer& reply, const Sender& sender)
{
    const Result result = sendRequest (reply, ackOrNack, sender);

    if (! result.ok)
        return failAndMark (result);

    if (reply.data[0] == NACK)
        return failAndMark (KORVALUNE_ERROR ("Got NACK during write transfer"));

    if (reply.data[0] != ACK)
        return failAndMark (KORVALUNE_ERROR ("Internal error"));

    return okResult;
}

//==============================================================================
Result KorvaluneProtocol::writeTransfer (std::uint8_t kind, std::uint16_t index, const std::uint8_t* data,
                                         std::uint32_t size)
{
    std::uint8_t replyBytes[replyBufferSize];
    ReplyBuffer reply { replyBytes, sizeof (replyBytes) };

    const Result started = request (reply, ackOrNack, makeMessage (TRANSFER_START));

    if (! started.ok)
        return failAndMark (started);

    if (replyBytes[0] == NACK)
        return KORVALUNE_ERROR ("Got NACK waiting for TRANSFER_START");

    if (replyBytes[0] != ACK)
        return failAndMark (KORVALUNE_ERROR ("Internal error"));

    const std::uint8_t* cursor = data;
    std::uint32_t remaining = size;
    std::uint16_t checksum = 0;
    bool finished = false;

    const Sender sendWriteChunk = [&] (int) {
        if (remaining == 0)
        {
            finished = true;
            return writeMessage (makeTransferEnd (kind, index, (std::uint16_t) (size >> 2), checksum));
        }

        const auto count = std::min (remaining, (std::uint32_t) maxPayloadLength);
        updateChecksum (checksum, cursor, count);
        const Result written = writeChunk (TRANSFER_DATA, cursor, count);

        if (written.ok)
        {
            cursor += count;
            remaining -= count;
        }

        return written;
    };

    for (;;)
    {
        const Result result = sendAcknowledged (reply, sendWriteChunk);

        if (! result.ok || finished)
            return result;
    }
}

Result KorvaluneProtocol::readTransfer (std::uint8_t kind, std::uint16_t index, std::uint8_t* destination,
                                        std::uint32_t capacity, std::uint32_t* received)
{
    std::uint8_t replyBytes[replyBufferSize];
    ReplyBuffer reply { replyBytes, sizeof (replyBytes) };

    const Result started = request (reply, transferStartOrNack, makeReadRequest (kind, index));

    if (! started.ok)
        return failAndMark (started);

    if (replyBytes[0] == NACK)
        return failAndMark (KORVALUNE_ERROR ("Got NACK waiting for TRANSFER_START"));

    if (replyBytes[0] != TRANSFER_START)
        return failAndMark (KORVALUNE_ERROR ("Internal error"));

    const DeviceMessage next = makeMessage (ACK);
    std::uint32_t total = 0;

    for (;;)
    {
        const Result result = request (reply, transferDataEndOrNack, next);

        if (! result.ok)
            return failAndMark (result);

        if (replyBytes[0] == TRANSFER_END)
        {
            *received = total;
            return okResult;
        }

        if (replyBytes[0] == NACK)
            return failAndMark (KORVALUNE_ERROR ("Got unexpected NACK during read transfer"));

        if (replyBytes[0] != TRANSFER_DATA)
            return failAndMark (KORVALUNE_ERROR ("Internal error"));

        // Bytes beyond the block are counted but dropped.
        const std::uint32_t count = replyBytes[1];
        const auto kept = std::min (count, capacity);
        std::memcpy (destination, replyBytes + 2, kept);
        destination += kept;
        capacity -= kept;
        total += count;

        if (total > maxReadTransferBytes)
            return failAndMark (KORVALUNE_ERROR ("Read transfer too long: %u bytes", total));
    }
}

Result KorvaluneProtocol::writeFirmware (const std::uint8_t* data, std::uint32_t size, const ProgressFunction& progress)
{
    std::uint8_t replyBytes[replyBufferSize];
    ReplyBuffer reply { replyBytes, sizeof (replyBytes) };

    const Result started = request (reply, ackOrNack, makeFirmwareStart());

    if (! started.ok)
        return failAndMark (started);

    if (replyBytes[0] == NACK)
        return KORVALUNE_ERROR ("Got NACK for firmware start");

    if (replyBytes[0] != ACK)
        return failAndMark (KORVALUNE_ERROR ("Internal error"));

    const std::uint8_t* cursor = data;
    std::uint32_t remaining = size;
    std::uint32_t sent = 0;

    const Sender sendProgressChunk = [&] (int) {
        const auto count = std::min (remaining, (std::uint32_t) maxPayloadLength);
        const Result written = writeChunk (FIRMWARE_DATA, cursor, count);

        if (written.ok)
        {
            cursor += count;
            remaining -= count;
            sent += count;

            // An empty image is wholly sent once its one empty message is.
            if (progress)
                progress (size == 0 ? 1.0 : (double) sent / (double) size);
        }

        return written;
    };

    for (;;)
    {
        const Result result = sendAcknowledged (reply, sendProgressChunk);

        if (! result.ok || remaining == 0)
            return result;
    }
}

//==============================================================================
Result KorvaluneProtocol::setParameter (std::uint16_t parameter, const std::uint32_t& value)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    return writeMessage (makeSetParameter (parameter, value));
}

Result KorvaluneProtocol::setCabinetData (int slot, const std::uint32_t* words)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t block[KorvaluneData::cabinetBlockSize];
    (void) KorvaluneData::encodeCabinetBlock (words, block);
    return writeTransfer (CABINET_DATA, (std::uint16_t) slot, block, sizeof (block));
}

Result KorvaluneProtocol::getCabinetData (int slot, std::uint32_t* words)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t block[KorvaluneData::cabinetBlockSize];
    std::uint32_t received = 0;
    const Result result = readTransfer (CABINET_DATA, (std::uint16_t) slot, block, sizeof (block), &received);

    if (! result.ok)
        return result;

    // Unlike a name, a cabinet has no end of its own: a short block would pass
    // for a cabinet whose tail is silent, and a backup would keep it so.
    if (received < sizeof (block))
        return KORVALUNE_ERROR ("Short cabinet data: %u of %u bytes", received, (unsigned) sizeof (block));

    return KorvaluneData::decodeCabinetBlock (block, words);
}

Result KorvaluneProtocol::setGlobals (const ParamMap& params)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t block[KorvaluneData::paramBlockSize];
    const Result encoded = KorvaluneData::encodeParams (params, block);

    if (! encoded.ok)
        return encoded;

    return writeTransfer (GLOBALS, 0, block, sizeof (block));
}

Result KorvaluneProtocol::getGlobals (ParamMap& params)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t block[KorvaluneData::paramBlockSize] = {};
    std::uint32_t received = 0;
    const Result result = readTransfer (GLOBALS, 0, block, sizeof (block), &received);

    if (! result.ok)
        return result;

    return KorvaluneData::decodeParams (block, std::min<std::size_t> (received, sizeof (block)), params);
}

Result KorvaluneProtocol::setCabinetName (int slot, const std::string& name)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t block[KorvaluneData::nameBlockSize];
    KorvaluneData::encodeName (name, block);
    return writeTransfer (CABINET_NAME, (std::uint16_t) slot, block, sizeof (block));
}

Result KorvaluneProtocol::getCabinetName (int slot, std::string& name)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    // Zeros behind a short transfer end the name there, never show garbage.
    std::uint8_t block[KorvaluneData::nameBlockSize] = {};
    std::uint32_t received = 0;
    const Result result = readTransfer (CABINET_NAME, (std::uint16_t) slot, block, sizeof (block), &received);

    if (! result.ok)
        return result;

    return KorvaluneData::decodeName (block, name);
}

Result KorvaluneProtocol::updateFirmware (const std::vector<std::uint8_t>& image, ProgressFunction progress)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    return writeFirmware (image.data(), (std::uint32_t) image.size(), progress);
}

Result KorvaluneProtocol::requestVersion (KorvaluneData::DeviceVersionInfo& info)
{
    return requestVersion (info, limits.requestMs);
}

Result KorvaluneProtocol::requestVersion (KorvaluneData::DeviceVersionInfo& info, std::uint32_t timeLimitMs)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t replyBytes[replyBufferSize];
    ReplyBuffer reply { replyBytes, sizeof (replyBytes) };
    const DeviceMessage message = makeMessage (VERSION_REQUEST);

    const Result result
        = sendRequest (reply, ackOrNack, timeLimitMs, [this, &message] (int) { return writeMessage (message); });

    if (! result.ok)
        return result;

    if (replyBytes[0] == NACK)
        return KORVALUNE_ERROR ("Got NACK for version request");

    if (replyBytes[0] != ACK)
        return failAndMark (KORVALUNE_ERROR ("Internal error"));

    return parseVersionResponse (replyBytes, info.system.data(), info.dsp.data(), info.subtype);
}

Result KorvaluneProtocol::requestConnection (bool& accepted)
{
    std::lock_guard<std::mutex> operation (operationMutex);
    std::uint8_t replyBytes[replyBufferSize];
    ReplyBuffer reply { replyBytes, sizeof (replyBytes) };
    const DeviceMessage message = makeMessage (CONNECT_REQUEST);

    const Result result = sendAndWait (reply, ackOrNack, limits.connectionCheckMs, &accepted,
                                       [this, &message] (int) { return writeMessage (message); });

    if (! result.ok)
    {
        accepted = false;
        return failAndMark (result);
    }

    accepted = accepted && replyBytes[0] == ACK;
    return okResult;
}

Result KorvaluneProtocol::sendMessageCE()
{
    return writeMessage (makeMessage (MESSAGE_CE));
}

} // namespace Korvalune
