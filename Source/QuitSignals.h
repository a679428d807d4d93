#pragma once

#include <functional>
#include <memory>

// Makes the signals with which a session, a terminal or a user ends a program
// the application's own quit request, so that they close the editor as its
// close button does and never cut what a job is writing to the unit:
// - Linux: SIGTERM (shut-down, logout, kill), SIGINT (Ctrl+C in the terminal
//   the editor was started from, which the framework's own handler would
//   turn into a quit that skips the application) and SIGHUP (that terminal
//   closed). A signal that was ignored when the watch began (nohup) stays
//   ignored.
// - Windows: nothing to watch; a program with windows and no console is
//   asked to close by window messages (MessageLoopAid).
// The application holds it from the start of its initialisation to the end
// of its shut-down, after the settings are saved.
//
// Threads: made and destroyed on the message thread, once the framework's
// message manager exists; `requestQuit` is called there. The signal handler
// runs on whatever thread takes the signal and only writes to a pipe.
// Locks: none.
class QuitSignals
{
public:
    virtual ~QuitSignals() = default;
};

// Null where nothing is watched. While the result lives, each of those
// signals calls `requestQuit` (signals that arrive together, once); then they
// do again what they did before.
std::unique_ptr<QuitSignals> watchQuitSignals (std::function<void()> requestQuit);

// Runs `startThreads` with the quit signals blocked in the calling thread, so
// that the threads it starts leave them to the message thread. A signal taken
// by a thread that waits in a system call breaks that call off: the unit's
// read thread, waiting in hidapi's poll, would take it for a broken link and
// end the job it serves. Where there are no such signals it just runs it.
void startThreadsWithoutQuitSignals (const std::function<void()>& startThreads);
