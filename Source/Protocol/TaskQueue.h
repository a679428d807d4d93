#pragma once

#include "Protocol/Result.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Korvalune
{

// Runs background jobs one at a time, in the order they were added, on one
// worker thread of its own, so device work never blocks the message thread.
//
// Owns: the waiting tasks and everything their functions capture; the worker.
// Threads: any thread adds and cancels; the worker runs the jobs.
// Locks: `mutex` guards tasks, currentTask and running. Callers may hold their
// own lock around addTask/cancelAll (the service's state lock comes first);
// the queue never calls out with `mutex` held except to destroy a finished
// task's captured state.
class TaskQueue
{
public:
    class Task
    {
    public:
        using RunFunction = std::function<Result (Task&)>;
        using DoneFunction = std::function<void()>;

        Task (RunFunction run, DoneFunction done);
        Task (Task&& other) noexcept;
        Task& operator= (Task&& other) noexcept;

        Task (const Task&) = delete;
        Task& operator= (const Task&) = delete;

        // The job itself; it polls `cancelled` through the Task it is handed.
        RunFunction run;
        // Called after run, or instead of it when the task was cancelled.
        DoneFunction done;
        // Only ever goes from false to true.
        std::atomic<bool> cancelled { false };
    };

    TaskQueue();
    ~TaskQueue();

    TaskQueue (const TaskQueue&) = delete;
    TaskQueue& operator= (const TaskQueue&) = delete;

    void addTask (Task::RunFunction run, Task::DoneFunction done);

    // Flags every waiting task and the running one; removes nothing, waits for nothing.
    void cancelAll();

private:
    void workerLoop();
    void cancelAllLocked();

    std::deque<Task> tasks;
    Task* currentTask = nullptr;
    std::mutex mutex;
    std::thread worker;
    std::condition_variable wakeup;
    bool running = true;
};

} // namespace Korvalune
