#pragma once

#include "Protocol/KorvaluneData.h"
#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/Result.h"
#include "Protocol/TaskQueue.h"
#include "QuellonParamID.h"
#include "QuellonParamMap.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Quellon
{

// The editor's work with the one connected unit: its state, the values and
// names last read from it, and the device jobs (refresh, parameter change,
// backup, restore, firmware update, cabinet upload), each run as a task on
// the service's own queue. Every change reaches the listeners.
//
// Owns: the parameter map, the globals store, the task queue and its worker.
// The protocol is not owned: the application hands it over on connect and
// deletes it once disconnect has returned.
// Threads: the message thread connects, disconnects, starts tasks, reads the
// getters and adds or removes listeners; the task-queue worker runs the task
// bodies (and through them the error report, the state changes and the
// notifications); the protocol's read thread calls handleLinkState.
// Locks, in this order: `listenerMutex` (held while callbacks run, so a
// callback may call the getters), then `stateMutex` (every other field), then
// the protocol's state mutex (attaching and detaching the handler) or the task
// queue's mutex (adding and cancelling tasks). The state lock is never held
// while a task calls into the protocol, nor while listeners run.
// Progress and completion functions run on the worker with no service lock
// held; a firmware update's progress runs inside the protocol, where
// disconnect waits for it, so it must never wait for the message thread.
class QuellonEditorService : public Korvalune::KorvaluneProtocol::Handler
{
public:
    using DeviceVersionInfo = Korvalune::KorvaluneData::DeviceVersionInfo;
    using QuellonArchive = Korvalune::KorvaluneData::QuellonArchive;
    using UserCabinetData = Korvalune::KorvaluneData::UserCabinetData;
    using ParameterInfo = QuellonParamMap::ParameterInfo;
    using ParameterValue = QuellonParamMap::ParameterValue;
    using Task = Korvalune::TaskQueue::Task;
    using TaskFunction = Korvalune::TaskQueue::Task::RunFunction;
    using ProgressFunction = std::function<void (double)>;
    using BackupCompletion = std::function<void (const QuellonArchive&)>;
    // Raw words of the unit's parameters (float bits), keyed by store key.
    using ValueStore = std::map<std::uint32_t, std::uint32_t>;

    enum State : std::uint32_t
    {
        Disconnected = 0,
        Idle = 1,
        Busy = 2,        // never entered
        Refreshing = 3,
        Sending = 4,     // never entered
        Receiving = 5,   // never entered
        Restoring = 6,
        BackingUp = 7,
        UpdatingFirmware = 8,
        UpdateComplete = 9,   // the image is sent; waiting for the unit to come back
        FirmwareUpdateRequired = 10,
        Error = 11
    };

    // Callbacks of the user interface; an empty member is skipped. They run
    // on the worker (mostly) or the read thread, under the listener lock.
    struct Listener
    {
        std::function<void()> onRefreshAll;
        std::function<void (State)> onStateChanged;
        std::function<void (QuellonParamID, const ParameterValue&)> onParameterChanged;
    };

    // The waits of the tasks. Tests shorten them.
    struct Timing
    {
        // Between connecting and the first request to the unit.
        std::chrono::milliseconds settleAfterConnect { 3000 };
        // How often a firmware update looks for its unit, and for how long.
        std::chrono::milliseconds reconnectPoll { 500 };
        std::chrono::milliseconds reconnectLimit { 30000 };
        // Between the unit's return and the refresh after an update.
        std::chrono::milliseconds waitForReady { 3000 };
    };

    // `requiredVersions` null requires nothing. The worker starts here.
    explicit QuellonEditorService (const DeviceVersionInfo* requiredVersions);
    QuellonEditorService (const DeviceVersionInfo* requiredVersions, Timing timing);
    // Disconnects, then stops the worker; listeners must be gone before.
    ~QuellonEditorService() override;

    QuellonEditorService (const QuellonEditorService&) = delete;
    QuellonEditorService& operator= (const QuellonEditorService&) = delete;

    //==============================================================================
    // Makes the service the protocol's handler and refreshes, or, while a
    // firmware update waits for its unit, only ends that wait. Null disconnects.
    Korvalune::Result connect (Korvalune::KorvaluneProtocol* protocol);
    // Detaches from the protocol and cancels the tasks (unless a firmware
    // update waits for its unit). Returns once no task is inside the detached
    // protocol: a request still waiting there is ended with a link failure.
    void disconnect();

    void handleParameterReport (std::uint32_t, std::uint32_t) override {}
    void handleStatusReport (std::uint32_t) override {}
    void handleLinkState (int state) override;
    void handleDeviceEvent (std::uint32_t, std::uint32_t) override {}

    //==============================================================================
    // The gate of every task but the firmware update and the cabinet upload:
    // refused unless connected and idle.
    Korvalune::Result startTask (State newState, TaskFunction run);
    Korvalune::Result startRefresh (bool afterConnect);
    Korvalune::Result startIdleTask (TaskFunction run);
    // `completion` runs on the worker with the archive of a successful backup.
    Korvalune::Result startBackup (ProgressFunction progress, BackupCompletion completion);
    Korvalune::Result startRestore (const QuellonArchive& archive, ProgressFunction progress);
    // Also accepted in the states FirmwareUpdateRequired and Error.
    Korvalune::Result startFirmwareUpdate (const QuellonArchive& archive, ProgressFunction progress);
    Korvalune::Result setParameterValue (QuellonParamID id, const ParameterValue& value);
    // Refused while busy or not connected; the names are then read again later.
    Korvalune::Result uploadUserCabinet (int slot, const UserCabinetData& cabinet);
    Korvalune::Result cancelAll();

    //==============================================================================
    // Logs the failure, keeps it as the last error and enters Error, then
    // tells the listeners.
    void reportError (const char* message);
    void setState (State newState);

    void addListener (Listener* listener);
    void removeListener (Listener* listener);
    void notifyRefreshAll();
    void notifyStateChanged();
    void notifyParameterChanged (QuellonParamID id, const ParameterValue& value);

    //==============================================================================
    State getState();
    std::string getLastError();
    // True while a unit is connected; `info` gets the versions last read.
    bool getDeviceVersion (DeviceVersionInfo& info);
    // "?" for a slot whose name has not been read.
    std::string getUserCabinetName (int slot);
    Korvalune::Result getParameterInfo (QuellonParamID id, ParameterInfo& info) const;
    Korvalune::Result getParameterValue (QuellonParamID id, ParameterValue& value);
    // The store holding the parameter and its entry in the map, or null for
    // an unknown id. The store may only be touched under the state lock, that
    // is, by the service's own tasks.
    ValueStore* findParameter (QuellonParamID id, const ParameterInfo** info);
    // Whether a unit with these versions meets the required ones.
    bool checkFirmwareVersion (const DeviceVersionInfo& unitVersion) const;
    const Timing& getTiming() const { return timing; }

private:
    using Lock = std::unique_lock<std::mutex>;
    using ProtocolCall = std::function<Korvalune::Result (Korvalune::KorvaluneProtocol&)>;

    Korvalune::Result refreshTask (Task& task, bool afterConnect);
    Korvalune::Result setParameterTask (QuellonParamID id, const ParameterValue& value);
    Korvalune::Result backupTask (const ProgressFunction& progress, const BackupCompletion& completion);
    Korvalune::Result restoreTask (const QuellonArchive& archive, const ProgressFunction& progress);
    Korvalune::Result updateTask (Task& task, const QuellonArchive& archive, const ProgressFunction& progress);
    Korvalune::Result uploadCabinetTask (const std::vector<std::uint32_t>& words, const std::string& name, int slot);

    Korvalune::Result readGlobalsAndCabinetNames();
    Korvalune::Result refreshIfPending();
    // False when the unit did not say; `version` is then all zero. `brief`:
    // after an update, where a silent unit is waited for no longer than a
    // connection check.
    bool readUnitVersion (DeviceVersionInfo& version, bool brief = false);
    Korvalune::Result waitForReconnect (Task& task);

    // Puts a task on the queue (state lock held), tagged with the connection
    // it was started for.
    void queueTask (TaskFunction run);
    // One call into the attached protocol, made with the state lock released
    // and marked so that disconnect can wait for it to leave. Without a
    // protocol, or for a task of a unit that has gone, it fails as a request
    // on a lost link would.
    Korvalune::Result callProtocol (const ProtocolCall& call);
    // Ends the requests still waiting in a detached protocol and waits until
    // no task is inside it any more.
    void releaseProtocol (Korvalune::KorvaluneProtocol* detached);
    // A task's state step and error report; a task of a unit that has gone
    // changes nothing but the log.
    void setTaskState (State newState);
    void reportTaskError (const char* message);
    // The error report on behalf of one connection; false (and only logged)
    // when that connection has ended.
    bool reportErrorFor (const char* message, std::uint64_t generation);
    // Waits up to `duration`; false when the task was cancelled meanwhile.
    bool pause (Task& task, std::chrono::milliseconds duration);

    Korvalune::KorvaluneProtocol* protocol = nullptr;
    const QuellonParamMap paramMap;
    std::mutex stateMutex;
    std::mutex listenerMutex;
    std::list<Listener*> listeners;
    State state = Disconnected;
    ValueStore globalsStore;
    bool waitingForReconnect = false;
    // The connected unit has taken a firmware image and reboots into it: its
    // leaving the bus is expected, even once nobody waits for it any more.
    bool unitLeaving = false;
    DeviceVersionInfo requiredVersions;
    DeviceVersionInfo deviceVersion;
    std::string lastError;
    bool refreshPending = false;
    std::vector<std::string> cabinetNames;

    const Timing timing;
    // Counts the connections; a firmware update's wait for its unit is part
    // of one. The running task's own is copied when it starts.
    std::uint64_t connectionGeneration = 0;
    std::uint64_t taskGeneration = 0;
    // The protocol a task is calling into right now (one worker: at most one).
    Korvalune::KorvaluneProtocol* protocolInUse = nullptr;
    // With stateMutex: a task left the protocol; a task was cancelled or the
    // firmware update's unit came back.
    std::condition_variable protocolLeft;
    std::condition_variable taskWakeup;

    // Declared last, destroyed first: its worker may use every member above.
    Korvalune::TaskQueue taskQueue;
};

// The cabinet data of a record from the 1024 words read for one slot: the
// words in the first half and again in the second (2048 words, 8192 bytes).
void expandCabinetBlock (const std::uint32_t* block, std::uint32_t* data);

} // namespace Quellon
