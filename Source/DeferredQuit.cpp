#include "DeferredQuit.h"

#include "Protocol/Log.h"

DeferredQuit::DeferredQuit (std::function<State()> stateOfService, std::function<void()> quitProgram,
                            std::function<void()> tellHeld)
    : currentState (std::move (stateOfService))
    , quit (std::move (quitProgram))
    , onHeld (std::move (tellHeld))
{
}

DeferredQuit::~DeferredQuit()
{
    stopTimer();
}

bool DeferredQuit::holdsQuit (State state)
{
    // Once the image is whole (UpdateComplete) the unit finishes on its own;
    // a cut backup writes no bundle; the other jobs only read or are short.
    return state == State::Restoring || state == State::UpdatingFirmware;
}

void DeferredQuit::request()
{
    if (held)
        return;

    if (! holdsQuit (currentState()))
    {
        quit();
        return;
    }

    Korvalune::logMessage (Korvalune::LogInfo, "Closing once the running job has ended");
    held = true;

    if (onHeld)
        onHeld();

    startTimer (pollIntervalMs);
}

void DeferredQuit::timerCallback()
{
    if (holdsQuit (currentState()))
        return;

    stopTimer();
    Korvalune::logMessage (Korvalune::LogInfo, "The job has ended: closing");
    quit();
}
