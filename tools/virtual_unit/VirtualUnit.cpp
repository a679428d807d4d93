#include "VirtualUnit.h"

#include "Protocol/DeviceMessage.h"
#include "Protocol/TransferChecksum.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace vunit
{

using namespace Korvalune;
namespace Data = Korvalune::KorvaluneData;

namespace
{
// Input reports of a full-speed HID unit are always this long, zero-padded.
constexpr std::size_t inputReportSize = 64;
constexpr std::size_t maxReportSize = 72;

ParamMap factoryGlobals()
{
    // The nine globals at their usual defaults, as float bits.
    const std::pair<std::uint32_t, float> defaults[] = {
        { 0x200, 1.0f }, { 0x201, 1.0f }, { 0x202, 2.0f }, { 0x203, 3.0f }, { 0x204, 5.0f },
        { 0x205, 0.0f }, { 0x206, 5.0f }, { 0x207, 0.5f }, { 0x208, 1.0f },
    };

    ParamMap map;

    for (auto [id, value] : defaults)
    {
        std::uint32_t bits;
        std::memcpy (&bits, &value, sizeof (bits));
        map[id] = bits;
    }

    return map;
}

std::size_t blockSizeOf (std::uint8_t kind)
{
    switch (kind)
    {
        case GLOBALS: return Data::paramBlockSize;
        case CABINET_NAME: return Data::nameBlockSize;
        case CABINET_DATA: return Data::cabinetBlockSize;
        default: return 0;
    }
}

bool isValidBlock (std::uint8_t kind, std::uint16_t index)
{
    if (kind == GLOBALS)
        return index == 0;

    return (kind == CABINET_NAME || kind == CABINET_DATA) && index < VirtualUnit::cabinetSlots;
}
} // namespace

struct VirtualUnit::Report
{
    Clock::time_point readyAt;
    std::size_t length = 0;
    std::array<std::uint8_t, maxReportSize> bytes {};
};

// One open handle: its own queue of input reports, as each hidraw file has.
class VirtualUnit::Endpoint
{
public:
    std::deque<Report> queue;
    std::uint64_t generation = 0;
    bool closed = false;
    Clock::time_point nextFloodAt;
};

struct VirtualUnit::WriteTransfer
{
    std::vector<std::uint8_t> bytes;
};

struct VirtualUnit::ReadTransfer
{
    std::uint8_t kind = 0;
    std::uint16_t index = 0;
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
};

struct VirtualUnit::FirmwareTransfer
{
    std::vector<std::uint8_t> bytes;
    Clock::time_point lastDataAt;
};

VirtualUnit::VirtualUnit (std::string initialPath, Settings initialSettings)
    : settings (std::move (initialSettings)),
      basePath (initialPath),
      path (std::move (initialPath)),
      globals (factoryGlobals())
{
    for (int slot = 0; slot < cabinetSlots; ++slot)
    {
        cabinets[(size_t) slot].words[0] = Data::unitImpulseBits;
        cabinets[(size_t) slot].name = "User Cabinet " + std::to_string (slot + 1);
    }
}

VirtualUnit::~VirtualUnit() = default;

//==============================================================================
std::shared_ptr<VirtualUnit::Endpoint> VirtualUnit::open()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());

    if (! present)
        return nullptr;

    auto endpoint = std::make_shared<Endpoint>();
    endpoint->generation = generation;
    endpoints.push_back (endpoint);
    return endpoint;
}

void VirtualUnit::close (Endpoint& endpoint)
{
    std::lock_guard<std::mutex> lock (mutex);
    endpoint.closed = true;
    endpoint.queue.clear();
    endpoints.remove_if ([&] (const std::shared_ptr<Endpoint>& e) { return e.get() == &endpoint; });
    changed.notify_all();
}

bool VirtualUnit::isAlive (const Endpoint& endpoint) const
{
    return present && ! endpoint.closed && endpoint.generation == generation;
}

int VirtualUnit::write (Endpoint& endpoint, const std::uint8_t* report, std::size_t length)
{
    Lock lock (mutex);
    const auto now = Clock::now();
    advance (now);

    if (! isAlive (endpoint) || length == 0)
        return -1;

    // The report holds the OUT wire for one wire time, behind any before it.
    const auto arrival = std::max (now, outWireFree) + settings.wireTime;
    outWireFree = arrival;

    if (arrival > now)
    {
        lock.unlock();
        // A sleep may end early by the clock's own reckoning (Windows sleeps
        // in whole ticks), and the wire must be held for the full time.
        while (Clock::now() < arrival)
            std::this_thread::sleep_until (arrival);
        lock.lock();
        advance (std::max (arrival, Clock::now()));

        if (! isAlive (endpoint))
            return -1;
    }

    // Byte 0 is the report id; the message follows.
    receive (report + 1, length - 1, arrival);
    changed.notify_all();
    return (int) length;
}

int VirtualUnit::read (Endpoint& endpoint, std::uint8_t* buffer, std::size_t length, int timeoutMs)
{
    Lock lock (mutex);
    const auto start = Clock::now();
    const auto deadline = timeoutMs < 0 ? Clock::time_point::max() : start + std::chrono::milliseconds (timeoutMs);

    for (;;)
    {
        const auto now = Clock::now();
        advance (now);

        if (endpoint.closed)
            return -1;

        auto& queue = endpoint.queue;

        if (! queue.empty() && queue.front().readyAt <= now)
        {
            const auto count = std::min (length, queue.front().length);
            std::memcpy (buffer, queue.front().bytes.data(), count);
            queue.pop_front();
            return (int) count;
        }

        if (! isAlive (endpoint))
            return -1;

        const bool flooding = ! floodReport.empty();

        if (flooding && endpoint.nextFloodAt <= now)
        {
            endpoint.nextFloodAt = now + settings.wireTime;
            const auto count = std::min (length, floodReport.size());
            std::memcpy (buffer, floodReport.data(), count);
            return (int) count;
        }

        if (now >= deadline)
            return 0;

        auto wake = deadline;

        if (! queue.empty())
            wake = std::min (wake, queue.front().readyAt);

        if (flooding)
            wake = std::min (wake, endpoint.nextFloodAt);

        if (auto event = nextEventTime())
            wake = std::min (wake, *event);

        changed.wait_until (lock, wake);
    }
}

//==============================================================================
void VirtualUnit::plug (const std::optional<std::string>& newPath)
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());

    if (newPath)
        basePath = *newPath;

    leaveAt.reset();
    returnAt.reset();
    returnPath.reset();

    if (present)
        leave (Clock::now());

    ++arrivals;
    arrive (basePath);
}

bool VirtualUnit::replug (std::chrono::milliseconds gap)
{
    std::lock_guard<std::mutex> lock (mutex);
    const auto now = Clock::now();
    advance (now);

    if (! present)
        return false;

    leaveAt.reset();
    leave (now);
    returnPath = path;
    returnAt = now + gap;
    advance (now);
    return true;
}

void VirtualUnit::unplug()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());
    returnAt.reset();
    returnPath.reset();
    leaveAt.reset();

    if (present)
        leave (Clock::now());
}

bool VirtualUnit::isPresent()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());
    return present;
}

std::string VirtualUnit::getPath()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());
    return path;
}

bool VirtualUnit::waitForPresence (bool wanted, Clock::time_point deadline)
{
    Lock lock (mutex);

    for (;;)
    {
        const auto now = Clock::now();
        advance (now);

        if (present == wanted)
            return true;

        if (now >= deadline)
            return false;

        auto wake = deadline;

        if (auto event = nextEventTime())
            wake = std::min (wake, *event);

        changed.wait_until (lock, wake);
    }
}

std::optional<Clock::time_point> VirtualUnit::nextEventTime() const
{
    std::optional<Clock::time_point> next;
    auto consider = [&next] (Clock::time_point t) { next = next ? std::min (*next, t) : t; };

    if (firmwareTransfer && ! firmwareTransfer->bytes.empty())
        consider (firmwareTransfer->lastDataAt + settings.firmwareIdle);

    if (leaveAt)
        consider (*leaveAt);

    if (returnAt)
        consider (*returnAt);

    return next;
}

void VirtualUnit::advance (Clock::time_point now)
{
    while (auto event = nextEventTime())
    {
        if (*event > now)
            return;

        if (firmwareTransfer && ! firmwareTransfer->bytes.empty()
            && firmwareTransfer->lastDataAt + settings.firmwareIdle == *event)
        {
            completeFirmware (*event);
        }
        else if (leaveAt == event)
        {
            leaveAt.reset();
            leave (*event);
        }
        else
        {
            returnAt.reset();
            ++arrivals;
            arrive (returnPath.value_or (basePath + "#" + std::to_string (arrivals)));
            returnPath.reset();
        }
    }
}

void VirtualUnit::leave (Clock::time_point at)
{
    present = false;
    ++generation;

    // What was already on its way stays readable; the rest is lost.
    for (auto& endpoint : endpoints)
    {
        auto& queue = endpoint->queue;
        queue.erase (std::remove_if (queue.begin(), queue.end(), [at] (const Report& r) { return r.readyAt > at; }),
                     queue.end());
    }

    writeTransfer.reset();
    readTransfer.reset();
    firmwareTransfer.reset();
    changed.notify_all();
}

void VirtualUnit::arrive (const std::string& newPath)
{
    present = true;
    path = newPath;
    changed.notify_all();
}

void VirtualUnit::completeFirmware (Clock::time_point at)
{
    firmware = std::move (firmwareTransfer->bytes);
    firmwareTransfer.reset();
    ++firmwareUpdates;

    if (settings.nextSystem)
        settings.system = *settings.nextSystem;

    settings.dsp = settings.nextDsp;

    // It reboots into the new image: off the bus once its last reply is out,
    // back a while later under a new device node.
    leaveAt = at;
    returnAt = at + settings.returnDelay;
    returnPath.reset();
}

//==============================================================================
void VirtualUnit::receive (const std::uint8_t* message, std::size_t length, Clock::time_point at)
{
    recordFrame (message, length);

    if (length == 0)
        return;

    if (auto* fault = firingFault (message[0]))
    {
        const Fault fired = *fault;
        faults.erase (std::remove_if (faults.begin(), faults.end(),
                                      [] (const Fault& f) { return f.times > 0 && f.counted >= f.at + f.times - 1; }),
                      faults.end());
        applyFault (fired, at);
        return;
    }

    const unsigned payloadLength = length >= 2 ? message[1] : 0;

    if (length < 2 || payloadLength > maxPayloadLength || payloadLength + 2u > length)
    {
        reply (NACK, nullptr, 0, at);
        return;
    }

    handleMessage (message[0], message + 2, payloadLength, at);
}

void VirtualUnit::recordFrame (const std::uint8_t* message, std::size_t length)
{
    if (settings.frameLogLimit == 0)
    {
        ++framesReceived;
        return;
    }

    Frame frame;
    frame.number = ++framesReceived;
    frame.length = (unsigned) std::min (length, frame.bytes.size());
    std::memcpy (frame.bytes.data(), message, frame.length);
    frames.push_back (frame);

    while (frames.size() > settings.frameLogLimit)
        frames.pop_front();
}

VirtualUnit::Fault* VirtualUnit::firingFault (std::uint8_t type)
{
    Fault* firing = nullptr;

    for (auto& fault : faults)
    {
        if (fault.type >= 0 && fault.type != type)
            continue;

        ++fault.counted;
        const bool inRange = fault.counted >= fault.at && (fault.times == 0 || fault.counted < fault.at + fault.times);

        if (inRange && firing == nullptr)
            firing = &fault;
    }

    return firing;
}

void VirtualUnit::applyFault (const Fault& fault, Clock::time_point at)
{
    switch (fault.kind)
    {
        case Fault::Kind::Nack: reply (NACK, nullptr, 0, at); break;
        case Fault::Kind::Silent: break;

        case Fault::Kind::Short:
        {
            const std::uint8_t report[] = { ACK };
            sendReport (report, sizeof (report), at);
            break;
        }

        case Fault::Kind::Malformed:
        {
            const std::uint8_t report[] = { ACK, 5, 0 };
            sendReport (report, sizeof (report), at);
            break;
        }

        case Fault::Kind::Oversized:
        {
            std::uint8_t report[inputReportSize + 1] = { ACK, 63 };
            sendReport (report, sizeof (report), at);
            break;
        }

        case Fault::Kind::WrongType: reply (fault.replyType, nullptr, 0, at); break;

        case Fault::Kind::Custom:
            sendReport (fault.report.data(), std::min (fault.report.size(), maxReportSize), at);
            break;

        case Fault::Kind::Vanish: leave (at); break;

        case Fault::Kind::Replug:
            leave (at);
            returnPath = path;
            returnAt = at;
            break;
    }
}

void VirtualUnit::handleMessage (std::uint8_t type, const std::uint8_t* payload, unsigned length, Clock::time_point at)
{
    switch (type)
    {
        case CONNECT_REQUEST:
        {
            reply (ACK, &type, 1, at);
            break;
        }

        case VERSION_REQUEST:
        {
            const auto& s = settings;
            const std::uint8_t answer[] = { VERSION_REQUEST, s.system[0], s.system[1], s.system[2],
                                            s.dsp[0],        s.dsp[1],    s.dsp[2],    (std::uint8_t) s.subtype };
            reply (ACK, answer, s.subtype >= 0 ? 8 : 7, at);
            break;
        }

        case FIRMWARE_START:
        {
            const bool valid = length == 5 && payload[0] == 0 && Data::readWord (payload + 1) == FirmwareStartCode;

            if (valid)
            {
                firmwareTransfer = std::make_unique<FirmwareTransfer>();
                firmwareTransfer->lastDataAt = at;
            }

            reply (valid ? ACK : NACK, &type, valid ? 1 : 0, at);
            break;
        }

        case FIRMWARE_DATA: handleFirmwareData (payload, length, at); break;

        case TRANSFER_START:
        {
            readTransfer.reset();
            writeTransfer = std::make_unique<WriteTransfer>();
            reply (ACK, &type, 1, at);
            break;
        }

        case TRANSFER_DATA:
        {
            const bool fits = writeTransfer && writeTransfer->bytes.size() + length <= Data::cabinetBlockSize;

            if (fits)
                writeTransfer->bytes.insert (writeTransfer->bytes.end(), payload, payload + length);
            else
                writeTransfer.reset();

            reply (fits ? ACK : NACK, &type, fits ? 1 : 0, at);
            break;
        }

        case TRANSFER_END: handleTransferEnd (payload, length, at); break;
        case READ_REQUEST: handleReadRequest (payload, length, at); break;
        case ACK: handleReadAck (at); break;

        case SET_PARAMETER:
        {
            if (length != 8)
                break;

            const auto parameter = Data::readWord (payload);
            const auto value = Data::readWord (payload + 4);

            // The parameter table has room for one block's worth.
            if (globals.count (parameter) == 0 && globals.size() >= Data::paramBlockEntries)
                break;

            globals[parameter] = value;
            // The unit reports each change back; the editor drops these.
            reply (MESSAGE_CF, payload, 8, at);
            break;
        }

        case MESSAGE_CE: reply (MESSAGE_CE, nullptr, 0, at); break;
        default: reply (NACK, nullptr, 0, at); break;
    }
}

void VirtualUnit::handleFirmwareData (const std::uint8_t* payload, unsigned length, Clock::time_point at)
{
    if (! firmwareTransfer || firmwareTransfer->bytes.size() + length > maxFirmwareBytes)
    {
        firmwareTransfer.reset();
        reply (NACK, nullptr, 0, at);
        return;
    }

    auto& bytes = firmwareTransfer->bytes;
    bytes.insert (bytes.end(), payload, payload + length);
    firmwareTransfer->lastDataAt = at;

    const std::uint8_t type = FIRMWARE_DATA;
    const auto replied = reply (ACK, &type, 1, at);

    // A short block ends the image; an image of whole blocks ends when the
    // host goes quiet (advance). An empty transfer never completes.
    if (length < maxPayloadLength && ! bytes.empty())
        completeFirmware (replied);
}

void VirtualUnit::handleTransferEnd (const std::uint8_t* payload, unsigned length, Clock::time_point at)
{
    auto transfer = std::move (writeTransfer);
    bool accepted = false;

    if (transfer && length == 7)
    {
        const std::uint8_t kind = payload[0];
        const auto index = readHalfWord (payload + 1);
        const auto words = readHalfWord (payload + 3);
        const auto checksum = readHalfWord (payload + 5);

        std::uint16_t sum = 0;
        updateChecksum (sum, transfer->bytes.data(), (std::uint32_t) transfer->bytes.size());

        accepted = isValidBlock (kind, index) && transfer->bytes.size() == blockSizeOf (kind)
                   && words * 4u == transfer->bytes.size() && sum == checksum
                   && storeBlock (kind, index, transfer->bytes);
    }

    const std::uint8_t type = TRANSFER_END;
    reply (accepted ? ACK : NACK, &type, accepted ? 1 : 0, at);
}

void VirtualUnit::handleReadRequest (const std::uint8_t* payload, unsigned length, Clock::time_point at)
{
    writeTransfer.reset();
    readTransfer.reset();

    if (length == 5)
    {
        auto transfer = std::make_unique<ReadTransfer>();
        transfer->kind = payload[0];
        transfer->index = readHalfWord (payload + 1);

        if (loadBlock (transfer->kind, transfer->index, transfer->bytes))
        {
            readTransfer = std::move (transfer);
            reply (TRANSFER_START, nullptr, 0, at);
            return;
        }
    }

    reply (NACK, nullptr, 0, at);
}

void VirtualUnit::handleReadAck (Clock::time_point at)
{
    if (! readTransfer)
    {
        reply (NACK, nullptr, 0, at);
        return;
    }

    auto& transfer = *readTransfer;
    const auto remaining = transfer.bytes.size() - transfer.sent;

    if (remaining > 0)
    {
        const auto count = (unsigned) std::min<std::size_t> (remaining, maxPayloadLength);
        reply (TRANSFER_DATA, transfer.bytes.data() + transfer.sent, count, at);
        transfer.sent += count;
        return;
    }

    std::uint16_t sum = 0;
    updateChecksum (sum, transfer.bytes.data(), (std::uint32_t) transfer.bytes.size());
    const auto end = makeTransferEnd (transfer.kind, transfer.index, (std::uint16_t) (transfer.bytes.size() / 4), sum);
    readTransfer.reset();
    sendReport (end.data(), end.length, at);
}

bool VirtualUnit::storeBlock (std::uint8_t kind, std::uint16_t index, const std::vector<std::uint8_t>& block)
{
    if (kind == GLOBALS)
    {
        ParamMap received;
        (void) Data::decodeParams (block.data(), block.size(), received);

        for (auto [parameter, value] : received)
            globals[parameter] = value;

        // Keep the table within one block, as the unit's memory would.
        while (globals.size() > Data::paramBlockEntries)
            globals.erase (std::prev (globals.end()));

        return true;
    }

    auto& cabinet = cabinets[index];

    if (kind == CABINET_NAME)
        return Data::decodeName (block.data(), cabinet.name).ok;

    return Data::decodeCabinetBlock (block.data(), cabinet.words.data()).ok;
}

bool VirtualUnit::loadBlock (std::uint8_t kind, std::uint16_t index, std::vector<std::uint8_t>& block)
{
    if (auto served = servedBlocks.find ({ kind, index }); served != servedBlocks.end())
    {
        block = served->second;
        return true;
    }

    if (! isValidBlock (kind, index))
        return false;

    block.assign (blockSizeOf (kind), 0);

    if (kind == GLOBALS)
        return Data::encodeParams (globals, block.data()).ok;

    if (kind == CABINET_NAME)
    {
        Data::encodeName (cabinets[index].name, block.data());
        return true;
    }

    return Data::encodeCabinetBlock (cabinets[index].words.data(), block.data()).ok;
}

Clock::time_point VirtualUnit::reply (std::uint8_t type, const std::uint8_t* payload, unsigned length,
                                      Clock::time_point at)
{
    const auto message = makeMessage (type, payload, length);
    return sendReport (message.data(), message.length, at);
}

Clock::time_point VirtualUnit::sendReport (const std::uint8_t* bytes, std::size_t length, Clock::time_point at)
{
    Report report;
    report.readyAt = std::max (at, inWireFree) + settings.wireTime;
    inWireFree = report.readyAt;

    // Proper replies fill a whole input report; faulty ones keep their size.
    std::memcpy (report.bytes.data(), bytes, length);
    report.length = length >= 2 && length <= inputReportSize && bytes[1] + 2u == length ? inputReportSize : length;

    for (auto& endpoint : endpoints)
        if (isAlive (*endpoint))
            endpoint->queue.push_back (report);

    return report.readyAt;
}

//==============================================================================
VirtualUnit::Settings VirtualUnit::getSettings()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());
    return settings;
}

void VirtualUnit::setSettings (const Settings& newSettings)
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());
    settings = newSettings;
    changed.notify_all();
}

void VirtualUnit::addFault (const Fault& fault)
{
    std::lock_guard<std::mutex> lock (mutex);
    faults.push_back (fault);
    faults.back().counted = 0;
}

void VirtualUnit::clearFaults()
{
    std::lock_guard<std::mutex> lock (mutex);
    faults.clear();
}

void VirtualUnit::setFlood (std::vector<std::uint8_t> report)
{
    std::lock_guard<std::mutex> lock (mutex);
    report.resize (std::min (report.size(), maxReportSize));
    floodReport = std::move (report);
    changed.notify_all();
}

void VirtualUnit::serveBlock (std::uint8_t kind, std::uint16_t index, std::vector<std::uint8_t> bytes)
{
    std::lock_guard<std::mutex> lock (mutex);
    servedBlocks[{ kind, index }] = std::move (bytes);
}

void VirtualUnit::clearServedBlocks()
{
    std::lock_guard<std::mutex> lock (mutex);
    servedBlocks.clear();
}

ParamMap VirtualUnit::getGlobals()
{
    std::lock_guard<std::mutex> lock (mutex);
    return globals;
}

void VirtualUnit::setGlobal (std::uint32_t parameter, std::uint32_t value)
{
    std::lock_guard<std::mutex> lock (mutex);
    globals[parameter] = value;
}

VirtualUnit::Cabinet VirtualUnit::getCabinet (int slot)
{
    std::lock_guard<std::mutex> lock (mutex);
    return cabinets.at ((std::size_t) slot);
}

void VirtualUnit::setCabinet (int slot, const Cabinet& cabinet)
{
    std::lock_guard<std::mutex> lock (mutex);
    cabinets.at ((std::size_t) slot) = cabinet;
}

std::vector<std::uint8_t> VirtualUnit::getFirmware()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());
    return firmware;
}

std::vector<VirtualUnit::Frame> VirtualUnit::getFrames (std::uint64_t fromNumber)
{
    std::lock_guard<std::mutex> lock (mutex);
    std::vector<Frame> result;

    for (auto& frame : frames)
        if (frame.number >= fromNumber)
            result.push_back (frame);

    return result;
}

void VirtualUnit::clearFrames()
{
    std::lock_guard<std::mutex> lock (mutex);
    frames.clear();
    framesReceived = 0;
}

VirtualUnit::Status VirtualUnit::getStatus()
{
    std::lock_guard<std::mutex> lock (mutex);
    advance (Clock::now());

    Status status;
    status.present = present;
    status.path = path;
    status.settings = settings;
    status.framesReceived = framesReceived;
    status.firmwareBytes = firmware.size();
    status.firmwareUpdates = firmwareUpdates;
    status.receivingFirmware = firmwareTransfer != nullptr;
    status.arrivals = arrivals;
    status.openHandles = endpoints.size();
    status.armedFaults = faults.size();
    return status;
}

} // namespace vunit
