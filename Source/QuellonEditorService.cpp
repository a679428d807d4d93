#include "QuellonEditorService.h"

#include "Protocol/Log.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Quellon
{

using Korvalune::KorvaluneProtocol;
using Korvalune::logMessage;
using Korvalune::okResult;
using Korvalune::Result;
namespace Data = Korvalune::KorvaluneData;

namespace
{
constexpr int cabinetSlots = 3;

std::uint32_t versionNumber (const Data::Version& v)
{
    return ((std::uint32_t) v[0] << 24) | ((std::uint32_t) v[1] << 16) | ((std::uint32_t) v[2] << 8) | v[3];
}

bool isWithinRange (const QuellonParamMap::ParameterInfo& info, double value)
{
    return std::isfinite (value) && value >= info.minValue.value && value <= info.maxValue.value;
}
} // namespace

// A failed task step: the error report, then the failure made at this line.
#define TASK_STEP_FAILED(message) (reportTaskError (message), KORVALUNE_ERROR (message))

QuellonEditorService::QuellonEditorService (const DeviceVersionInfo* required)
    : QuellonEditorService (required, Timing())
{
}

QuellonEditorService::QuellonEditorService (const DeviceVersionInfo* required, Timing taskTiming)
    : timing (taskTiming)
{
    deviceVersion.subtype = 0;

    if (required != nullptr)
    {
        requiredVersions.system = required->system;
        requiredVersions.dsp = required->dsp;
    }
}

QuellonEditorService::~QuellonEditorService()
{
    disconnect();

    // A firmware update may still wait for its unit: end the wait now, not at its next poll.
    Lock lock (stateMutex);
    taskQueue.cancelAll();
    taskWakeup.notify_all();
}

//==============================================================================
Result QuellonEditorService::connect (KorvaluneProtocol* newProtocol)
{
    logMessage (Korvalune::LogDebug, "%s", newProtocol != nullptr ? "connect" : "disconnect");

    KorvaluneProtocol* previous;
    bool wasWaiting;

    {
        Lock lock (stateMutex);
        previous = protocol;

        if (previous != nullptr)
            (void) previous->setHandler (nullptr);

        protocol = newProtocol;

        if (newProtocol != nullptr)
            (void) newProtocol->setHandler (this);

        wasWaiting = waitingForReconnect;
        unitLeaving = false;

        if (newProtocol != nullptr)
        {
            // The firmware update that waits for this unit goes on.
            waitingForReconnect = false;
        }
        else if (! wasWaiting)
        {
            taskQueue.cancelAll();
        }

        // Tasks of an earlier unit no longer speak for the service.
        if (! wasWaiting)
            ++connectionGeneration;

        taskWakeup.notify_all();
    }

    if (previous != newProtocol)
        releaseProtocol (previous);

    if (wasWaiting)
        return okResult;

    if (newProtocol == nullptr)
    {
        setState (Disconnected);
        return okResult;
    }

    setState (Idle);
    return startRefresh (true);
}

void QuellonEditorService::disconnect()
{
    (void) connect (nullptr);
}

void QuellonEditorService::releaseProtocol (KorvaluneProtocol* detached)
{
    if (detached == nullptr)
        return;

    // A request waiting for a unit that is still there but silent (at
    // shut-down) would wait out its whole time limit: end it as a lost link
    // ends it. Nothing is attached to hear of it, and the protocol is
    // deleted next.
    detached->handleLinkState (Korvalune::LinkDown);

    Lock lock (stateMutex);
    protocolLeft.wait (lock, [&] { return protocolInUse != detached; });
}

void QuellonEditorService::handleLinkState (int linkState)
{
    bool reportable;
    std::uint64_t generation;

    {
        Lock lock (stateMutex);
        // A unit that reboots after its firmware update drops its link on
        // purpose, whether or not the update still waits for it.
        reportable = protocol != nullptr && ! waitingForReconnect && ! unitLeaving;
        generation = connectionGeneration;
    }

    // The read thread may still be in here while the unit is being let go:
    // then nothing is shown.
    if (linkState == Korvalune::LinkError && reportable && reportErrorFor ("A communication error occurred", generation))
        (void) cancelAll();
}

//==============================================================================
Result QuellonEditorService::startTask (State newState, TaskFunction run)
{
    {
        Lock lock (stateMutex);

        if (protocol == nullptr)
            return KORVALUNE_ERROR ("Cannot start task while not connected");

        if (state != Idle)
            return KORVALUNE_ERROR ("Cannot start task while busy");

        state = newState;
        queueTask (std::move (run));
    }

    notifyStateChanged();
    return okResult;
}

void QuellonEditorService::queueTask (TaskFunction run)
{
    taskQueue.addTask (
        [this, generation = connectionGeneration, run = std::move (run)] (Task& task) {
            {
                Lock lock (stateMutex);
                taskGeneration = generation;
            }

            return run (task);
        },
        {});
}

Result QuellonEditorService::startRefresh (bool afterConnect)
{
    return startTask (Refreshing, [this, afterConnect] (Task& task) { return refreshTask (task, afterConnect); });
}

Result QuellonEditorService::startIdleTask (TaskFunction run)
{
    return startTask (Idle, std::move (run));
}

Result QuellonEditorService::startBackup (ProgressFunction progress, BackupCompletion completion)
{
    return startTask (BackingUp, [this, progress, completion] (Task&) { return backupTask (progress, completion); });
}

Result QuellonEditorService::startRestore (const QuellonArchive& archive, ProgressFunction progress)
{
    // A bundle is outside input: a slot the unit does not have would stop
    // the restore half-way, after the globals and earlier cabinets are written.
    for (const auto& cabinet : archive.cabinets)
        if (cabinet.slot < 0 || cabinet.slot >= cabinetSlots)
            return KORVALUNE_ERROR ("Invalid cabinet slot %d", (int) cabinet.slot);

    return startTask (Restoring, [this, archive, progress] (Task&) { return restoreTask (archive, progress); });
}

Result QuellonEditorService::startFirmwareUpdate (const QuellonArchive& archive, ProgressFunction progress)
{
    {
        Lock lock (stateMutex);

        if (protocol == nullptr)
            return KORVALUNE_ERROR ("Cannot start task while not connected");

        if (state != Idle && state != FirmwareUpdateRequired && state != Error)
            return KORVALUNE_ERROR ("Cannot start task while busy");

        state = UpdatingFirmware;
        queueTask ([this, archive, progress] (Task& task) { return updateTask (task, archive, progress); });
    }

    notifyStateChanged();
    return okResult;
}

Result QuellonEditorService::setParameterValue (QuellonParamID id, const ParameterValue& value)
{
    logMessage (Korvalune::LogDebug, "QuellonEditorService: setParameterValue(%d,%f)", (int) id,
                (double) (float) value.value);

    // A change that can never be made is refused here, not accepted and
    // dropped on the worker; and the unit never gets a value its parameter
    // cannot take.
    auto* info = paramMap.find (id);

    if (info == nullptr)
        return KORVALUNE_ERROR ("Parameter not found");

    if (! isWithinRange (*info, value.value))
        return KORVALUNE_ERROR ("Parameter value out of range: %f", value.value);

    return startIdleTask ([this, id, value] (Task&) { return setParameterTask (id, value); });
}

Result QuellonEditorService::uploadUserCabinet (int slot, const UserCabinetData& cabinet)
{
    if (slot < 0 || slot >= cabinetSlots)
        return KORVALUNE_ERROR ("Invalid cabinet slot %d", slot);

    Lock lock (stateMutex);

    if (protocol == nullptr || state != Idle)
    {
        // Whatever the unit holds now is read again after the running task;
        // the caller still learns that this cabinet was not sent.
        refreshPending = true;
        return protocol == nullptr ? KORVALUNE_ERROR ("Cannot start task while not connected")
                                   : KORVALUNE_ERROR ("Cannot start task while busy");
    }

    std::vector<std::uint32_t> words (cabinet.samples.begin(), cabinet.samples.end());
    queueTask ([this, words, name = cabinet.name, slot] (Task&) { return uploadCabinetTask (words, name, slot); });
    return okResult;
}

Result QuellonEditorService::cancelAll()
{
    logMessage (Korvalune::LogDebug, "QuellonEditorService: cancelAll");
    Lock lock (stateMutex);
    taskQueue.cancelAll();
    taskWakeup.notify_all();
    return okResult;
}

//==============================================================================
void QuellonEditorService::reportError (const char* message)
{
    const char* text = message != nullptr ? message : "";
    logMessage (Korvalune::LogError, "EdSvc error: %s", text);

    {
        Lock lock (stateMutex);
        lastError = text;
        state = Error;
    }

    notifyStateChanged();
}

void QuellonEditorService::reportTaskError (const char* message)
{
    std::uint64_t generation;

    {
        Lock lock (stateMutex);
        generation = taskGeneration;
    }

    (void) reportErrorFor (message, generation);
}

bool QuellonEditorService::reportErrorFor (const char* message, std::uint64_t generation)
{
    {
        Lock lock (stateMutex);

        // The failure of a unit that has been let go is only logged: the
        // service stays disconnected, or serves its next unit.
        if (generation != connectionGeneration)
        {
            logMessage (Korvalune::LogWarning, "EdSvc error after disconnection: %s", message);
            return false;
        }

        logMessage (Korvalune::LogError, "EdSvc error: %s", message);
        lastError = message;
        state = Error;
    }

    notifyStateChanged();
    return true;
}

void QuellonEditorService::setState (State newState)
{
    {
        Lock lock (stateMutex);
        state = newState;
    }

    notifyStateChanged();
}

void QuellonEditorService::setTaskState (State newState)
{
    {
        Lock lock (stateMutex);

        if (taskGeneration != connectionGeneration)
            return;

        state = newState;
    }

    notifyStateChanged();
}

void QuellonEditorService::addListener (Listener* listener)
{
    if (listener == nullptr)
        return;

    std::lock_guard<std::mutex> lock (listenerMutex);
    listeners.push_back (listener);
}

void QuellonEditorService::removeListener (Listener* listener)
{
    std::lock_guard<std::mutex> lock (listenerMutex);
    listeners.remove (listener);
}

void QuellonEditorService::notifyRefreshAll()
{
    std::lock_guard<std::mutex> lock (listenerMutex);

    for (auto* listener : listeners)
        if (listener->onRefreshAll)
            listener->onRefreshAll();
}

void QuellonEditorService::notifyStateChanged()
{
    std::lock_guard<std::mutex> lock (listenerMutex);
    const State current = getState();

    for (auto* listener : listeners)
        if (listener->onStateChanged)
            listener->onStateChanged (current);
}

void QuellonEditorService::notifyParameterChanged (QuellonParamID id, const ParameterValue& value)
{
    std::lock_guard<std::mutex> lock (listenerMutex);

    for (auto* listener : listeners)
        if (listener->onParameterChanged)
            listener->onParameterChanged (id, value);
}

//==============================================================================
QuellonEditorService::State QuellonEditorService::getState()
{
    Lock lock (stateMutex);
    return state;
}

std::string QuellonEditorService::getLastError()
{
    Lock lock (stateMutex);
    return lastError;
}

bool QuellonEditorService::getDeviceVersion (DeviceVersionInfo& info)
{
    Lock lock (stateMutex);
    info = deviceVersion;
    return protocol != nullptr;
}

std::string QuellonEditorService::getUserCabinetName (int slot)
{
    Lock lock (stateMutex);

    if ((std::size_t) (unsigned) slot >= cabinetNames.size())
        return "?";

    return cabinetNames[(std::size_t) slot];
}

Result QuellonEditorService::getParameterInfo (QuellonParamID id, ParameterInfo& info) const
{
    auto* entry = paramMap.find (id);

    if (entry == nullptr)
        return KORVALUNE_ERROR ("Parameter info not found");

    info = *entry;
    return okResult;
}

Result QuellonEditorService::getParameterValue (QuellonParamID id, ParameterValue& value)
{
    const ParameterInfo* info = nullptr;

    if (findParameter (id, &info) == nullptr)
        return KORVALUNE_ERROR ("No scope for parameter");

    Lock lock (stateMutex);
    auto stored = globalsStore.find (info->storeKey);

    if (stored == globalsStore.end())
    {
        value = info->defaultValue;
        return okResult;
    }

    return parameterValueFromRaw (*info, floatFromBits (stored->second), value);
}

QuellonEditorService::ValueStore* QuellonEditorService::findParameter (QuellonParamID id, const ParameterInfo** info)
{
    auto* entry = paramMap.find (id);

    if (entry == nullptr)
        return nullptr;

    *info = entry;
    return &globalsStore;
}

bool QuellonEditorService::checkFirmwareVersion (const DeviceVersionInfo& unitVersion) const
{
    if (requiredVersions.system != Data::InvalidVersion
        && versionNumber (unitVersion.system) < versionNumber (requiredVersions.system))
        return false;

    if (requiredVersions.dsp == Data::InvalidVersion)
        return true;

    return versionNumber (unitVersion.dsp) >= versionNumber (requiredVersions.dsp);
}

//==============================================================================
Result QuellonEditorService::callProtocol (const ProtocolCall& call)
{
    KorvaluneProtocol* attached;

    {
        Lock lock (stateMutex);
        attached = protocol;

        // A task of a unit that has gone never reaches the next one.
        if (attached == nullptr || taskGeneration != connectionGeneration)
            return KORVALUNE_ERROR ("No unit connected");

        protocolInUse = attached;
    }

    const Result result = call (*attached);

    Lock lock (stateMutex);
    protocolInUse = nullptr;
    protocolLeft.notify_all();
    return result;
}

bool QuellonEditorService::pause (Task& task, std::chrono::milliseconds duration)
{
    Lock lock (stateMutex);
    return ! taskWakeup.wait_for (lock, duration, [&] { return task.cancelled.load(); });
}

Result QuellonEditorService::readGlobalsAndCabinetNames()
{
    {
        Lock lock (stateMutex);
        refreshPending = false;
    }

    ValueStore globals;

    if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.getGlobals (globals); }).ok)
        return TASK_STEP_FAILED ("Failed to get globals");

    std::vector<std::string> names (cabinetSlots);

    for (int slot = 0; slot < cabinetSlots; ++slot)
        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.getCabinetName (slot, names[(std::size_t) slot]); }).ok)
            return TASK_STEP_FAILED ("Failed to get cabinet name");

    {
        Lock lock (stateMutex);
        globalsStore = std::move (globals);
        cabinetNames = std::move (names);
    }

    notifyRefreshAll();
    return okResult;
}

Result QuellonEditorService::refreshIfPending()
{
    bool pending;

    {
        Lock lock (stateMutex);
        pending = refreshPending;
        refreshPending = false;
    }

    return pending ? readGlobalsAndCabinetNames() : okResult;
}

bool QuellonEditorService::readUnitVersion (DeviceVersionInfo& version, bool brief)
{
    version = DeviceVersionInfo();

    const auto request = [&] (KorvaluneProtocol& p) {
        const auto& limits = p.getTimeLimits();
        return p.requestVersion (version, brief ? limits.connectionCheckMs : limits.requestMs);
    };

    const bool reported = callProtocol (request).ok;

    if (reported)
    {
        logMessage (Korvalune::LogDebug, "QuellonEditorService: System version: %d.%d.%d", version.system[0],
                    version.system[1], version.system[2]);
        logMessage (Korvalune::LogDebug, "QuellonEditorService: DSP version: %d.%d.%d", version.dsp[0], version.dsp[1],
                    version.dsp[2]);
        logMessage (Korvalune::LogDebug, "QuellonEditorService: Device subtype: %d", (int) version.subtype);
    }
    else if (brief)
    {
        logMessage (Korvalune::LogWarning,
                    "The unit did not report its version after the update: its firmware version is unknown");
        version = DeviceVersionInfo();
    }
    else
    {
        logMessage (Korvalune::LogWarning, "Failed to get version information - assuming invalid version");
        version = DeviceVersionInfo();
    }

    Lock lock (stateMutex);
    deviceVersion = version;
    return reported;
}

//==============================================================================
Result QuellonEditorService::refreshTask (Task& task, bool afterConnect)
{
    logMessage (Korvalune::LogDebug, "Starting refresh");
    setTaskState (Refreshing);

    if (afterConnect)
    {
        // A unit that has just appeared needs a moment before it answers.
        if (! pause (task, timing.settleAfterConnect))
            return KORVALUNE_ERROR ("Task cancelled");

        DeviceVersionInfo version;
        (void) readUnitVersion (version);
        bool accepted = false;

        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.requestConnection (accepted); }).ok)
            return TASK_STEP_FAILED ("Failed to connect (1)");

        if (! accepted)
            return TASK_STEP_FAILED ("Failed to connect (2)");

        // The unit's values are not shown until its firmware is updated.
        if (! checkFirmwareVersion (version))
        {
            setTaskState (FirmwareUpdateRequired);
            return okResult;
        }
    }

    if (! readGlobalsAndCabinetNames().ok)
        return TASK_STEP_FAILED ("Failed to refresh current state");

    setTaskState (Idle);
    notifyRefreshAll();
    (void) refreshIfPending();
    return callProtocol ([] (KorvaluneProtocol& p) { return p.sendMessageCE(); });
}

Result QuellonEditorService::setParameterTask (QuellonParamID id, const ParameterValue& value)
{
    const ParameterInfo* info = nullptr;

    if (findParameter (id, &info) == nullptr)
        return KORVALUNE_ERROR ("Parameter not found");

    const std::uint32_t raw = rawFromParameterValue (value);
    const Result sent = callProtocol ([&] (KorvaluneProtocol& p) { return p.setParameter (info->deviceId, raw); });

    if (! sent.ok)
        return sent;

    {
        Lock lock (stateMutex);
        globalsStore[info->storeKey] = raw;
    }

    notifyParameterChanged (id, value);
    return okResult;
}

Result QuellonEditorService::backupTask (const ProgressFunction& progress, const BackupCompletion& completion)
{
    logMessage (Korvalune::LogDebug, "Starting backup");
    setTaskState (BackingUp);

    QuellonArchive archive;
    archive.globals = std::make_unique<ValueStore>();

    if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.getGlobals (*archive.globals); }).ok)
        return TASK_STEP_FAILED ("Failed to get globals");

    std::array<std::uint32_t, Data::cabinetWords> block {};

    for (int slot = 0; slot < cabinetSlots; ++slot)
    {
        auto& cabinet = archive.cabinets.emplace_back();
        cabinet.slot = slot;

        if (progress)
            progress (slot / 3.0);

        logMessage (Korvalune::LogDebug, "Backup cabData %d", slot);

        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.getCabinetData (slot, block.data()); }).ok)
            return TASK_STEP_FAILED ("Failed to get cabinet data");

        expandCabinetBlock (block.data(), cabinet.samples.data());
        logMessage (Korvalune::LogDebug, "Backup cabName %d", slot);

        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.getCabinetName (slot, cabinet.name); }).ok)
            return TASK_STEP_FAILED ("Failed to get cabinet name");
    }

    setTaskState (Idle);
    (void) refreshIfPending();

    if (completion)
        completion (archive);

    return okResult;
}

Result QuellonEditorService::restoreTask (const QuellonArchive& archive, const ProgressFunction& progress)
{
    logMessage (Korvalune::LogDebug, "Starting restore");
    setTaskState (Restoring);

    if (archive.globals != nullptr
        && ! callProtocol ([&] (KorvaluneProtocol& p) { return p.setGlobals (*archive.globals); }).ok)
        return TASK_STEP_FAILED ("Failed to set globals");

    for (const auto& cabinet : archive.cabinets)
    {
        if (progress)
            progress (cabinet.slot / 3.0);

        logMessage (Korvalune::LogDebug, "Restoring cabData %d", (int) cabinet.slot);

        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.setCabinetData (cabinet.slot, cabinet.samples.data()); })
                  .ok)
            return TASK_STEP_FAILED ("Failed to set cabinet data");

        logMessage (Korvalune::LogDebug, "Restoring cabName %d", (int) cabinet.slot);

        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.setCabinetName (cabinet.slot, cabinet.name); }).ok)
            return TASK_STEP_FAILED ("Failed to set cabinet name");
    }

    setTaskState (Idle);
    (void) readGlobalsAndCabinetNames();
    return okResult;
}

Result QuellonEditorService::updateTask (Task& task, const QuellonArchive& archive, const ProgressFunction& progress)
{
    logMessage (Korvalune::LogDebug, "Starting update");
    (void) callProtocol ([] (KorvaluneProtocol& p) {
        p.clearError();
        return okResult;
    });

    // Only a unit that takes an image leaves the bus; without one nothing
    // would ever end the wait.
    const bool sendsImage = archive.firmware != nullptr;

    {
        Lock lock (stateMutex);
        waitingForReconnect = sendsImage && taskGeneration == connectionGeneration;
    }

    setTaskState (UpdatingFirmware);

    if (sendsImage)
    {
        if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.updateFirmware (*archive.firmware, progress); }).ok)
        {
            {
                Lock lock (stateMutex);
                waitingForReconnect = false;
            }

            return TASK_STEP_FAILED ("Failed to update DSP firmware");
        }

        {
            Lock lock (stateMutex);

            if (taskGeneration == connectionGeneration)
                unitLeaving = true;
        }

        logMessage (Korvalune::LogDebug, "Reconnecting");
        setTaskState (UpdateComplete);

        if (const Result waited = waitForReconnect (task); ! waited.ok)
            return waited;

        logMessage (Korvalune::LogDebug, "Waiting for ready");

        if (! pause (task, timing.waitForReady))
            return KORVALUNE_ERROR ("Task cancelled");

        // A unit that does not say must not hold the end of the update; one
        // that still reports too old a version did not take the image, and
        // is treated as if it had just been plugged in.
        DeviceVersionInfo version;

        if (readUnitVersion (version, true) && ! checkFirmwareVersion (version))
        {
            logMessage (Korvalune::LogWarning,
                        "The unit still reports an old firmware version after the update (DSP %d.%d.%d)",
                        version.dsp[0], version.dsp[1], version.dsp[2]);
            setTaskState (FirmwareUpdateRequired);
            return okResult;
        }
    }
    else
    {
        logMessage (Korvalune::LogWarning, "No firmware image to send");
    }

    logMessage (Korvalune::LogDebug, "Update complete");
    setTaskState (Idle);
    (void) startRefresh (false);
    return okResult;
}

Result QuellonEditorService::waitForReconnect (Task& task)
{
    Lock lock (stateMutex);

    for (std::chrono::milliseconds waited { 0 };;)
    {
        taskWakeup.wait_for (lock, timing.reconnectPoll, [&] { return task.cancelled || ! waitingForReconnect; });

        // Cleared by connect: the unit is back.
        if (! waitingForReconnect)
            return okResult;

        waited += timing.reconnectPoll;

        if (waited > timing.reconnectLimit)
        {
            waitingForReconnect = false;
            lock.unlock();
            return TASK_STEP_FAILED ("Timeout waiting for reconnect");
        }

        if (task.cancelled)
        {
            waitingForReconnect = false;
            return KORVALUNE_ERROR ("Task cancelled");
        }
    }
}

Result QuellonEditorService::uploadCabinetTask (const std::vector<std::uint32_t>& words, const std::string& name,
                                                int slot)
{
    if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.setCabinetData (slot, words.data()); }).ok)
        return TASK_STEP_FAILED ("Failed to set cabinet data");

    if (! callProtocol ([&] (KorvaluneProtocol& p) { return p.setCabinetName (slot, name); }).ok)
        return TASK_STEP_FAILED ("Failed to set cabinet name");

    {
        Lock lock (stateMutex);

        if ((std::size_t) slot < cabinetNames.size())
            cabinetNames[(std::size_t) slot] = name;
    }

    notifyRefreshAll();
    return okResult;
}

void expandCabinetBlock (const std::uint32_t* block, std::uint32_t* data)
{
    std::copy (block, block + Data::cabinetWords, data);
    std::copy (block, block + Data::cabinetWords, data + Data::cabinetWords);
}

} // namespace Quellon
