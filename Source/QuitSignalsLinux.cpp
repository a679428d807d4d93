#include "QuitSignals.h"

#include "Protocol/Log.h"

#include <juce_events/juce_events.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace
{
constexpr std::array<int, 3> watchedSignals { SIGTERM, SIGINT, SIGHUP };

const char* nameOf (int number)
{
    switch (number)
    {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

// Blocks the watched signals in this thread for its lifetime; what arrives
// meanwhile waits for a thread that takes them.
class ScopedSignalBlock
{
public:
    ScopedSignalBlock()
    {
        sigset_t watched;
        sigemptyset (&watched);

        for (const int number : watchedSignals)
            sigaddset (&watched, number);

        pthread_sigmask (SIG_BLOCK, &watched, &before);
    }

    ~ScopedSignalBlock() { pthread_sigmask (SIG_SETMASK, &before, nullptr); }

    ScopedSignalBlock (const ScopedSignalBlock&) = delete;
    ScopedSignalBlock& operator= (const ScopedSignalBlock&) = delete;

private:
    sigset_t before {};
};

// The pipe's write end as the handler sees it; -1 while no watch is set.
std::atomic<int> handlerWriteEnd { -1 };
static_assert (std::atomic<int>::is_always_lock_free, "read inside a signal handler");

// Whatever thread the signal lands on, the handler only writes the signal's
// number to the pipe; errno is left as the interrupted code had it. The write
// end does not block: a full pipe already holds a request.
void noteSignal (int number)
{
    const int savedErrno = errno;
    const auto byte = (unsigned char) number;
    const auto written = ::write (handlerWriteEnd.load(), &byte, 1);
    (void) written;
    errno = savedErrno;
}

// A self-pipe: the signal handler writes to it, the framework's event loop
// watches its read end among the X connection and its own queue, and the
// request is made on the message thread from there.
class SignalPipe final : public QuitSignals
{
public:
    explicit SignalPipe (std::function<void()> onRequest)
        : requestQuit (std::move (onRequest))
    {
        std::array<int, 2> ends {};

        if (::pipe2 (ends.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        {
            Korvalune::logMessage (
                Korvalune::LogWarning, "A signal ends the editor at once: no pipe (%s)", std::strerror (errno));
            return;
        }

        readEnd = ends[0];
        writeEnd = ends[1];
        juce::LinuxEventLoop::registerFdCallback (readEnd, [this] (int) { takeSignals(); });
        handlerWriteEnd.store (writeEnd);

        for (std::size_t i = 0; i < watchedSignals.size(); ++i)
            installed[i] = install (watchedSignals[i], previous[i]);
    }

    ~SignalPipe() override
    {
        // The previous handlers come back before the pipe goes, so that no new
        // signal can write to a descriptor that has been closed or reused.
        for (std::size_t i = 0; i < watchedSignals.size(); ++i)
            if (installed[i])
                ::sigaction (watchedSignals[i], &previous[i], nullptr);

        if (readEnd < 0)
            return;

        handlerWriteEnd.store (-1);
        juce::LinuxEventLoop::unregisterFdCallback (readEnd);
        ::close (readEnd);
        ::close (writeEnd);
    }

private:
    // Takes the place of the framework's SIGINT handler, which is set by now.
    static bool install (int number, struct sigaction& before)
    {
        if (::sigaction (number, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
            return false;

        struct sigaction action {};
        action.sa_handler = noteSignal;
        sigemptyset (&action.sa_mask);
        // A read or write that the signal interrupts elsewhere goes on instead of failing.
        action.sa_flags = SA_RESTART;
        return ::sigaction (number, &action, nullptr) == 0;
    }

    void takeSignals()
    {
        std::array<unsigned char, 64> numbers {};
        bool any = false;
        ssize_t count = 0;

        while ((count = ::read (readEnd, numbers.data(), numbers.size())) > 0)
        {
            for (ssize_t i = 0; i < count; ++i)
                Korvalune::logMessage (Korvalune::LogInfo, "Quit requested by %s", nameOf (numbers[(std::size_t) i]));

            any = true;
        }

        if (any && requestQuit)
            requestQuit();
    }

    std::function<void()> requestQuit;
    int readEnd = -1;
    int writeEnd = -1;
    std::array<struct sigaction, watchedSignals.size()> previous {};
    std::array<bool, watchedSignals.size()> installed {};
};
} // namespace

std::unique_ptr<QuitSignals> watchQuitSignals (std::function<void()> requestQuit)
{
    return std::make_unique<SignalPipe> (std::move (requestQuit));
}

void startThreadsWithoutQuitSignals (const std::function<void()>& startThreads)
{
    // New threads inherit the mask of the thread that starts them.
    const ScopedSignalBlock block;
    startThreads();
}
