#pragma once

#include <cstdint>
#include <juce_events/juce_events.h>
#include <memory>
#include <mutex>

// Asks the makers' update server once for the latest editor version, on a
// thread of its own that nobody waits for, and reports a newer version to the
// application through the application's AsyncUpdater.
//
// The thread may outlive the application, so what it reaches (the flag, its
// lock and the pointer to the updater) lives in a state that the thread
// shares; close() marks it closed under the lock, and a closed state drops the
// thread's result without touching the application.
//
// Owns: its share of the state. Threads: start, takeNewVersionAvailable and
// close on the message thread; the check on its own thread.
// Locks: the state's `mutex`, held while the thread triggers the updater, so
// that a result never races the closing; nothing is taken inside it but the
// updater's own posting.
class UpdateCheck
{
public:
    // The path on the update server that answers with the latest version.
    static constexpr const char* requestPath = "/korvalune/quellon_latest_version.php";
    // The editor's own version, 1.2.0.1, packed as the check compares it.
    static constexpr std::uint32_t ownVersion = 0x01020001;
    // Only this much of the reply is read and looked at.
    static constexpr int maxReplyBytes = 255;

    // `updater` is triggered when a newer version is found.
    explicit UpdateCheck (juce::AsyncUpdater& updater);
    ~UpdateCheck();

    UpdateCheck (const UpdateCheck&) = delete;
    UpdateCheck& operator= (const UpdateCheck&) = delete;

    // Starts the check against `server` (scheme and host, without the path)
    // and returns at once.
    void start (const juce::String& server);

    // Takes the new-version flag and clears it.
    bool takeNewVersionAvailable();

    // From here on the check never touches the updater again.
    void close();

    // The server built into the program.
    static juce::String defaultServer();

private:
    struct State
    {
        std::mutex mutex;
        bool newVersionAvailable = false;
        bool closed = false;
        juce::AsyncUpdater* updater;
    };

    static void checkForUpdate (std::shared_ptr<State> state, juce::URL endpoint);
    static void readReply (const juce::URL& endpoint, char (&buffer)[maxReplyBytes + 1]);

    std::shared_ptr<State> state;
};
