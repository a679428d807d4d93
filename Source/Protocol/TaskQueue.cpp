#include "Protocol/TaskQueue.h"

namespace Korvalune
{

TaskQueue::Task::Task (RunFunction r, DoneFunction d)
    : run (std::move (r)), done (std::move (d))
{
}

TaskQueue::Task::Task (Task&& other) noexcept
    : run (std::move (other.run)),
      done (std::move (other.done)),
      cancelled (other.cancelled.load())
{
}

TaskQueue::Task& TaskQueue::Task::operator= (Task&& other) noexcept
{
    run = std::move (other.run);
    done = std::move (other.done);
    cancelled = other.cancelled.load();
    return *this;
}

TaskQueue::TaskQueue()
{
    // Started last, so the worker only ever sees fully built members.
    worker = std::thread ([this] { workerLoop(); });
}

TaskQueue::~TaskQueue()
{
    {
        std::lock_guard<std::mutex> lock (mutex);
        running = false;
        cancelAllLocked();
        wakeup.notify_all();
    }

    worker.join();
}

void TaskQueue::addTask (Task::RunFunction run, Task::DoneFunction done)
{
    std::lock_guard<std::mutex> lock (mutex);
    tasks.emplace_back (std::move (run), std::move (done));
    wakeup.notify_all();
}

void TaskQueue::cancelAll()
{
    std::lock_guard<std::mutex> lock (mutex);
    cancelAllLocked();
}

void TaskQueue::cancelAllLocked()
{
    for (auto& task : tasks)
        task.cancelled = true;

    if (currentTask != nullptr)
        currentTask->cancelled = true;
}

void TaskQueue::workerLoop()
{
    std::unique_lock<std::mutex> lock (mutex);

    for (;;)
    {
        wakeup.wait (lock, [this] { return ! tasks.empty() || ! running; });

        if (tasks.empty())
            return;

        Task task (std::move (tasks.front()));
        tasks.pop_front();
        currentTask = &task;
        lock.unlock();

        if (! task.cancelled)
            (void) task.run (task);

        if (task.done)
            task.done();

        lock.lock();
        currentTask = nullptr;
        // The task and what it captured are destroyed here, under the lock.
    }
}

} // namespace Korvalune
