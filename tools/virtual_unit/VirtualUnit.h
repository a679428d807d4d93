#pragma once

#include "Protocol/KorvaluneData.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vunit
{

using Clock = std::chrono::steady_clock;
using Version = Korvalune::KorvaluneData::Version;
using ParamMap = Korvalune::KorvaluneData::ParamMap;

// What a unit is and how it behaves; the versions change with an update.
struct UnitSettings
{
    std::uint16_t vendorId = 0x04D8;
    std::uint16_t productId = 0x003F;
    std::string serial = "VU0001";
    Version system { 1, 0, 0, 0 };
    Version dsp { 1, 2, 0, 0 };
    // 0, 1 or 2; -1 leaves the subtype out of the version reply.
    int subtype = 0;
    // Versions after a firmware update; an unset system version stays.
    std::optional<Version> nextSystem;
    Version nextDsp { 1, 2, 0, 0 };
    std::chrono::microseconds wireTime { 0 };
    // Time from leaving the bus after an update to coming back.
    std::chrono::milliseconds returnDelay { 3000 };
    // A firmware transfer that pauses this long counts as complete.
    std::chrono::milliseconds firmwareIdle { 1000 };
    std::size_t frameLogLimit = 100000;
};

// A stand-in for the real unit: it keeps globals, three user cabinets with
// names, firmware versions and the last firmware image, and answers every
// message of the host the way a unit plausibly would. Write transfers are
// checked (word count and checksum) and refused when wrong. A complete
// firmware image makes it leave the bus and come back later with new
// versions under a new path. Faults make it misbehave on chosen messages.
//
// Time is modelled, not simulated: each report spends `wireTime` on its wire
// (host writes block that long; a reply is readable one wire time after its
// request arrived), and timed events (leaving, returning, a firmware transfer
// that went idle) take effect when anything next looks at the unit.
//
// Owns: its state and the input queues of its open endpoints.
// Threads: any; every public operation takes `mutex`. Readers wait on
// `changed`, which is notified on every new report and presence change.
// Locks: `mutex` only; callers (the bus) may hold their own lock first.
class VirtualUnit
{
public:
    using Settings = UnitSettings;

    // Misbehaviour on chosen messages. A fault counts the frames that match
    // `type` (every frame when -1) from the moment it is armed; it fires on
    // the at-th of them and on the `times - 1` after it (every one from the
    // at-th on when times is 0). A firing fault replaces the unit's handling.
    struct Fault
    {
        enum class Kind
        {
            Nack,      // reply NACK
            Silent,    // reply nothing
            Short,     // a 1-byte report
            Malformed, // a 3-byte report whose length byte claims 5 payload bytes
            Oversized, // a 65-byte report claiming 63 payload bytes
            WrongType, // an empty message of type `replyType`
            Custom,    // the input report `report`, as it is
            Vanish,    // leave the bus at once, for good
            Replug     // leave the bus and come back at once, same path
        };

        Kind kind = Kind::Nack;
        int type = -1;
        int at = 1;
        int times = 1;
        std::uint8_t replyType = 0xC6;
        std::vector<std::uint8_t> report;
        int counted = 0;
    };

    struct Cabinet
    {
        std::array<std::uint32_t, Korvalune::KorvaluneData::cabinetWords> words {};
        std::string name;
    };

    // One frame the host sent, numbered from 1 since the unit was made or
    // its log cleared.
    struct Frame
    {
        std::uint64_t number = 0;
        unsigned length = 0;
        std::array<std::uint8_t, 64> bytes {};
    };

    struct Status
    {
        bool present = false;
        std::string path;
        Settings settings;
        std::uint64_t framesReceived = 0;
        std::size_t firmwareBytes = 0;
        int firmwareUpdates = 0;
        bool receivingFirmware = false;
        int arrivals = 0;
        std::size_t openHandles = 0;
        std::size_t armedFaults = 0;
    };

    class Endpoint;

    static constexpr std::size_t maxFirmwareBytes = 4u * 1024u * 1024u;

    explicit VirtualUnit (std::string path, Settings settings = {});
    ~VirtualUnit();

    VirtualUnit (const VirtualUnit&) = delete;
    VirtualUnit& operator= (const VirtualUnit&) = delete;

    // Host side, as hidapi would see it. open fails (null) off the bus; an
    // endpoint dies when the unit leaves and stays dead after it returns.
    std::shared_ptr<Endpoint> open();
    int write (Endpoint& endpoint, const std::uint8_t* report, std::size_t length);
    int read (Endpoint& endpoint, std::uint8_t* buffer, std::size_t length, int timeoutMs);
    void close (Endpoint& endpoint);

    // Bus side. plug brings the unit (back) onto the bus, under `path` when
    // given, else its last base path; unplug takes it off.
    void plug (const std::optional<std::string>& path = std::nullopt);
    void unplug();
    // Off the bus now and back `gap` later under the same path, as a unit
    // whose cable is pulled and pushed back; false when it is not on the bus.
    bool replug (std::chrono::milliseconds gap);
    bool isPresent();
    std::string getPath();
    bool waitForPresence (bool present, Clock::time_point deadline);

    Settings getSettings();
    void setSettings (const Settings& settings);
    void addFault (const Fault& fault);
    void clearFaults();
    // Reports sent unasked, as fast as the wire allows; empty stops.
    void setFlood (std::vector<std::uint8_t> report);
    // Read transfers of this block send `bytes` (any length) instead of the
    // unit's own; this also answers blocks the unit does not have.
    void serveBlock (std::uint8_t kind, std::uint16_t index, std::vector<std::uint8_t> bytes);
    void clearServedBlocks();

    ParamMap getGlobals();
    void setGlobal (std::uint32_t parameter, std::uint32_t value);
    Cabinet getCabinet (int slot);
    void setCabinet (int slot, const Cabinet& cabinet);
    std::vector<std::uint8_t> getFirmware();
    std::vector<Frame> getFrames (std::uint64_t fromNumber = 1);
    void clearFrames();
    Status getStatus();

    static constexpr int cabinetSlots = 3;

private:
    struct Report;
    struct WriteTransfer;
    struct ReadTransfer;
    struct FirmwareTransfer;

    using Lock = std::unique_lock<std::mutex>;

    void advance (Clock::time_point now);
    std::optional<Clock::time_point> nextEventTime() const;
    void leave (Clock::time_point at);
    void arrive (const std::string& newPath);
    void completeFirmware (Clock::time_point at);
    bool isAlive (const Endpoint& endpoint) const;

    void receive (const std::uint8_t* message, std::size_t length, Clock::time_point at);
    void recordFrame (const std::uint8_t* message, std::size_t length);
    Fault* firingFault (std::uint8_t type);
    void applyFault (const Fault& fault, Clock::time_point at);
    void handleMessage (std::uint8_t type, const std::uint8_t* payload, unsigned length, Clock::time_point at);
    void handleFirmwareData (const std::uint8_t* payload, unsigned length, Clock::time_point at);
    void handleTransferEnd (const std::uint8_t* payload, unsigned length, Clock::time_point at);
    void handleReadRequest (const std::uint8_t* payload, unsigned length, Clock::time_point at);
    void handleReadAck (Clock::time_point at);
    bool storeBlock (std::uint8_t kind, std::uint16_t index, const std::vector<std::uint8_t>& block);
    bool loadBlock (std::uint8_t kind, std::uint16_t index, std::vector<std::uint8_t>& block);

    Clock::time_point reply (std::uint8_t type, const std::uint8_t* payload, unsigned length, Clock::time_point at);
    Clock::time_point sendReport (const std::uint8_t* bytes, std::size_t length, Clock::time_point at);

    std::mutex mutex;
    std::condition_variable changed;

    Settings settings;
    std::string basePath;
    std::string path;
    bool present = true;
    int arrivals = 1;
    std::uint64_t generation = 0;
    std::optional<Clock::time_point> leaveAt;
    std::optional<Clock::time_point> returnAt;
    // Where the unit comes back at returnAt: a new path (after an update) unless set.
    std::optional<std::string> returnPath;
    Clock::time_point outWireFree;
    Clock::time_point inWireFree;

    std::list<std::shared_ptr<Endpoint>> endpoints;
    std::vector<Fault> faults;
    std::vector<std::uint8_t> floodReport;
    std::map<std::pair<std::uint8_t, std::uint16_t>, std::vector<std::uint8_t>> servedBlocks;

    ParamMap globals;
    std::array<Cabinet, cabinetSlots> cabinets;
    std::vector<std::uint8_t> firmware;
    int firmwareUpdates = 0;

    std::unique_ptr<WriteTransfer> writeTransfer;
    std::unique_ptr<ReadTransfer> readTransfer;
    std::unique_ptr<FirmwareTransfer> firmwareTransfer;

    std::deque<Frame> frames;
    std::uint64_t framesReceived = 0;
};

} // namespace vunit
