// The signals that end a program on Linux reach the application as quit
// requests on the message thread, do what they did before once the watch has
// gone, and never reach the threads started for the unit.

#include "QuitSignals.h"
#include "support/GuiTestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <pthread.h>
#include <thread>

namespace
{
volatile std::sig_atomic_t foreignSignals = 0;

void countForeignSignal (int)
{
    foreignSignals = foreignSignals + 1;
}

struct RequestWatch
{
    int requests = 0;
    bool onMessageThread = true;
    std::unique_ptr<QuitSignals> signals = watchQuitSignals ([this] {
        ++requests;
        onMessageThread = onMessageThread && juce::MessageManager::existsAndIsCurrentThread();
    });

    bool nextRequest (int timeoutMs = 5000)
    {
        const int before = requests;
        return GuiTest::runUntil ([&] { return requests > before; }, timeoutMs);
    }
};

// Sets `number`'s handler for the life of the scope.
struct ScopedDisposition
{
    ScopedDisposition (int signalNumber, void (*handler) (int))
        : number (signalNumber)
    {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset (&action.sa_mask);
        sigaction (number, &action, &before);
    }
    ~ScopedDisposition() { sigaction (number, &before, nullptr); }

    int number;
    struct sigaction before {};
};
} // namespace

TEST (QuitSignals, TermIntAndHupAreEachAQuitRequestAndTwoAtOnceAreOne)
{
    RequestWatch watch;

    for (const int number : { SIGTERM, SIGINT, SIGHUP })
    {
        SCOPED_TRACE (number);
        std::raise (number); // by default each would end the test
        EXPECT_TRUE (watch.nextRequest());
    }

    std::raise (SIGTERM);
    std::raise (SIGINT);
    EXPECT_TRUE (watch.nextRequest());
    GuiTest::runPendingMessages();
    EXPECT_EQ (watch.requests, 4);
    EXPECT_TRUE (watch.onMessageThread);
}

TEST (QuitSignals, AnIgnoredSignalStaysIgnoredAndTheHandlersBeforeComeBack)
{
    const ScopedDisposition hangUpIgnored (SIGHUP, SIG_IGN);
    const ScopedDisposition ownTerm (SIGTERM, countForeignSignal);
    foreignSignals = 0;

    {
        RequestWatch watch;
        std::raise (SIGHUP);
        EXPECT_FALSE (watch.nextRequest (200));
        std::raise (SIGTERM);
        EXPECT_TRUE (watch.nextRequest());
        EXPECT_EQ (foreignSignals, 0);
    }

    std::raise (SIGTERM);
    EXPECT_EQ (foreignSignals, 1);
}

TEST (QuitSignals, ThreadsStartedWithoutThemLeaveThemToTheThreadThatStartedThem)
{
    const auto blockedHere = [] {
        sigset_t mask;
        pthread_sigmask (SIG_SETMASK, nullptr, &mask);
        return sigismember (&mask, SIGTERM) + sigismember (&mask, SIGINT) + sigismember (&mask, SIGHUP);
    };
    int blockedInThread = 0;
    std::thread reader;

    startThreadsWithoutQuitSignals ([&] { reader = std::thread ([&] { blockedInThread = blockedHere(); }); });
    reader.join();

    EXPECT_EQ (blockedInThread, 3);
    EXPECT_EQ (blockedHere(), 0);
}
