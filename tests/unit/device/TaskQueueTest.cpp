#include "Protocol/TaskQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <vector>

using namespace Korvalune;
using namespace std::chrono_literals;

namespace
{
// Records events from the worker in order, under a lock.
class Journal
{
public:
    void add (const std::string& e)
    {
        std::lock_guard<std::mutex> lock (mutex);
        events.push_back (e);
    }

    std::vector<std::string> get()
    {
        std::lock_guard<std::mutex> lock (mutex);
        return events;
    }

private:
    std::mutex mutex;
    std::vector<std::string> events;
};

TaskQueue::Task::RunFunction record (Journal& j, const std::string& name)
{
    return [&j, name] (TaskQueue::Task&) { j.add ("run " + name); return okResult; };
}

TaskQueue::Task::DoneFunction recordDone (Journal& j, const std::string& name)
{
    return [&j, name] { j.add ("done " + name); };
}

// A job that holds the worker until released, so tests can queue behind it.
struct Gate
{
    std::promise<void> entered, release;
    std::shared_future<void> released { release.get_future().share() };

    TaskQueue::Task::RunFunction job (std::atomic<bool>* sawCancel = nullptr)
    {
        return [this, sawCancel] (TaskQueue::Task& self) {
            entered.set_value();
            released.wait();
            if (sawCancel != nullptr)
                *sawCancel = self.cancelled.load();
            return okResult;
        };
    }
};
} // namespace

TEST (TaskQueue, RunsTasksInOrderEachAfterThePreviousDone)
{
    Journal journal;
    std::promise<void> finished;
    {
        TaskQueue queue;
        queue.addTask (record (journal, "a"), recordDone (journal, "a"));
        queue.addTask (record (journal, "b"), [&] { journal.add ("done b"); finished.set_value(); });
        ASSERT_EQ (finished.get_future().wait_for (10s), std::future_status::ready);
    }
    EXPECT_EQ (journal.get(), (std::vector<std::string> { "run a", "done a", "run b", "done b" }));
}

TEST (TaskQueue, CancelledWaitingTaskSkipsRunButCallsDone)
{
    Journal journal;
    Gate gate;
    std::promise<void> finished;
    TaskQueue queue;

    queue.addTask (gate.job(), nullptr);
    gate.entered.get_future().wait();
    queue.addTask (record (journal, "late"), [&] { journal.add ("done late"); finished.set_value(); });
    queue.cancelAll();
    gate.release.set_value();

    ASSERT_EQ (finished.get_future().wait_for (10s), std::future_status::ready);
    EXPECT_EQ (journal.get(), (std::vector<std::string> { "done late" }));
}

TEST (TaskQueue, CancelAllReachesTheRunningJob)
{
    Gate gate;
    std::atomic<bool> sawCancel { false };
    std::promise<void> finished;
    TaskQueue queue;

    queue.addTask (gate.job (&sawCancel), [&] { finished.set_value(); });
    gate.entered.get_future().wait();
    queue.cancelAll();
    gate.release.set_value();

    ASSERT_EQ (finished.get_future().wait_for (10s), std::future_status::ready);
    EXPECT_TRUE (sawCancel);
}

TEST (TaskQueue, CancelAllOnAnIdleQueueLeavesLaterTasksAlone)
{
    Journal journal;
    std::promise<void> finished;
    TaskQueue queue;

    queue.cancelAll();
    queue.addTask (record (journal, "x"), [&] { finished.set_value(); });
    ASSERT_EQ (finished.get_future().wait_for (10s), std::future_status::ready);
    EXPECT_EQ (journal.get(), (std::vector<std::string> { "run x" }));
}

TEST (TaskQueue, DestructionRunsNoWaitingTaskButCallsEveryDone)
{
    Journal journal;
    std::promise<void> started;
    {
        TaskQueue queue;
        // Holds the worker until the destructor cancels it.
        queue.addTask ([&] (TaskQueue::Task& self) {
                           started.set_value();
                           while (! self.cancelled)
                               std::this_thread::yield();
                           return okResult;
                       },
                       nullptr);
        started.get_future().wait();

        for (auto name : { "1", "2", "3" })
            queue.addTask (record (journal, name), recordDone (journal, name));
    }
    EXPECT_EQ (journal.get(), (std::vector<std::string> { "done 1", "done 2", "done 3" }));
}

TEST (TaskQueue, DestructionWaitsForAJobThatIgnoresItsFlag)
{
    std::atomic<bool> jobReturned { false };
    std::promise<void> started;
    {
        TaskQueue queue;
        queue.addTask ([&] (TaskQueue::Task& self) {
                           started.set_value();
                           while (! self.cancelled)
                               std::this_thread::yield();
                           std::this_thread::sleep_for (50ms);   // keeps going after the flag
                           jobReturned = true;
                           return okResult;
                       },
                       nullptr);
        started.get_future().wait();
    }
    EXPECT_TRUE (jobReturned);
}

TEST (TaskQueue, AJobMayQueueAnotherAndCapturedStateIsReleased)
{
    auto token = std::make_shared<int> (1);
    std::weak_ptr<int> watch = token;
    std::promise<void> second;
    {
        TaskQueue queue;
        queue.addTask ([&, token] (TaskQueue::Task&) {
                           queue.addTask ([&] (TaskQueue::Task&) { second.set_value(); return okResult; }, nullptr);
                           return okResult;
                       },
                       nullptr);
        token.reset();
        ASSERT_EQ (second.get_future().wait_for (10s), std::future_status::ready);
    }
    EXPECT_TRUE (watch.expired());
}
