#pragma once

#include <mutex>

// Lets closures that other threads call reach an object only while it lives:
// the object closes the gate first thing in its destructor, and from then on
// every closure that passes through the gate is dropped unrun.
//
// Owned jointly (std::shared_ptr) by the object and every closure it handed
// out, so a closure called late still finds the gate.
// Threads: run from any thread; close from the owner's thread.
// Locks: `mutex`, held while a closure runs, so close() waits for a closure
// under way and no closure starts after it. A closure must not pass through
// the same gate again.
class CallbackGate
{
public:
    // Runs `function` unless the gate is closed; true when it ran.
    template <typename Function> bool run (Function&& function)
    {
        std::lock_guard<std::mutex> lock (mutex);

        if (closed)
            return false;

        function();
        return true;
    }

    void close()
    {
        std::lock_guard<std::mutex> lock (mutex);
        closed = true;
    }

private:
    std::mutex mutex;
    bool closed = false;
};
