// The signals that end a program on Linux reach the application as quit
// requests on the message thread, do what they did before once the watch has
// gone, and never reach the threads started for the unit.

#include "QuitSignals.h"
#include "support/GuiTestSupport.h"
#include "support/LogCapture.h"

#include <csignal>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

namespace
{
volatile std::sig_atomic_t ownHandlerCalls = 0;

void ownHandler (int)
{
    ownHandlerCalls = ownHandlerCalls + 1;
}

void setHandler (int number, void (*handler) (int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigaction (number, &action, nullptr);
}

int blockedInThisThread()
{
    sigset_t mask;
    pthread_sigmask (SIG_SETMASK, nullptr, &mask);
    return sigismember (&mask, SIGTERM) + sigismember (&mask, SIGINT) + sigismember (&mask, SIGHUP);
}
} // namespace

TEST (QuitSignals, EachIsAQuitRequestOnTheMessageThreadAndTwoAtOnceAreOne)
{
    int requests = 0;
    bool onMessageThread = true;
    const auto watch = watchQuitSignals ([&] {
        ++requests;
        onMessageThread = onMessageThread && juce::MessageManager::existsAndIsCurrentThread();
    });

    for (const int number : { SIGTERM, SIGINT, SIGHUP })
    {
        SCOPED_TRACE (number);
        const int before = requests;
        std::raise (number); // by default each would end the test
        EXPECT_TRUE (GuiTest::runUntil ([&] { return requests > before; }));
    }

    std::raise (SIGTERM);
    std::raise (SIGINT);
    EXPECT_TRUE (GuiTest::runUntil ([&] { return requests > 3; }));
    GuiTest::runPendingMessages();
    EXPECT_EQ (requests, 4);
    EXPECT_TRUE (onMessageThread);
}

TEST (QuitSignals, AnIgnoredOneStaysIgnoredAndTheHandlersBeforeComeBackOrStayWithoutAPipe)
{
    setHandler (SIGHUP, SIG_IGN); // as nohup leaves it
    setHandler (SIGTERM, ownHandler);
    int requests = 0;

    {
        const auto watch = watchQuitSignals ([&] { ++requests; });
        std::raise (SIGHUP);
        GuiTest::runPendingMessages();
        EXPECT_EQ (requests, 0);
        std::raise (SIGTERM);
        EXPECT_TRUE (GuiTest::runUntil ([&] { return requests > 0; }));
    }

    std::raise (SIGTERM);
    EXPECT_EQ (requests, 1);
    EXPECT_EQ (ownHandlerCalls, 1);

    // With no descriptor to spare there is no pipe: the handler before stays.
    rlimit files {};
    getrlimit (RLIMIT_NOFILE, &files);
    const rlimit noFiles { 0, files.rlim_max };
    setrlimit (RLIMIT_NOFILE, &noFiles);
    {
        const auto unwatched = watchQuitSignals ([&] { ++requests; });
        setrlimit (RLIMIT_NOFILE, &files);
        std::raise (SIGTERM);
        GuiTest::runPendingMessages();
    }
    EXPECT_TRUE (LogCapture::instance().contains ("A signal ends the editor at once: no pipe"));
    EXPECT_EQ (requests, 1);
    EXPECT_EQ (ownHandlerCalls, 2);
    setHandler (SIGHUP, SIG_DFL);
    setHandler (SIGTERM, SIG_DFL);
}

TEST (QuitSignals, ThreadsStartedWithoutThemLeaveThemToTheThreadThatStartedThem)
{
    int blockedInThread = 0;
    std::thread reader;
    startThreadsWithoutQuitSignals ([&] { reader = std::thread ([&] { blockedInThread = blockedInThisThread(); }); });
    reader.join();

    EXPECT_EQ (blockedInThread, 3);
    EXPECT_EQ (blockedInThisThread(), 0);
}
