#include "UpdateCheck.h"

#include "LatestVersionReply.h"
#include "Protocol/Log.h"

#include <system_error>
#include <thread>

using Korvalune::logMessage;

namespace
{
// What of the escaped reply fits on its log line. Escapes can make it longer
// than the line; it is cut before one rather than inside it.
constexpr std::size_t loggedReplyLength
    = (std::size_t) Korvalune::maxLogLineLength - (sizeof ("DEBUG: Update check response: ") - 1);
} // namespace

#ifndef QUELLON_UPDATE_SERVER
#define QUELLON_UPDATE_SERVER "https://updates.quellon.invalid"
#endif

UpdateCheck::UpdateCheck (juce::AsyncUpdater& updater)
    : state (std::make_shared<State>())
{
    state->updater = &updater;
}

UpdateCheck::~UpdateCheck()
{
    close();
}

void UpdateCheck::start (const juce::String& server)
{
    auto endpoint = juce::URL::createWithoutParsing (server + requestPath);

    try
    {
        std::thread (checkForUpdate, state, std::move (endpoint)).detach();
    }
    catch (const std::system_error&)
    {
        // Without a thread there is no check; the editor runs on regardless.
        logMessage (Korvalune::LogWarning, "Update check not started");
    }
}

bool UpdateCheck::takeNewVersionAvailable()
{
    std::lock_guard<std::mutex> lock (state->mutex);
    return std::exchange (state->newVersionAvailable, false);
}

void UpdateCheck::close()
{
    std::lock_guard<std::mutex> lock (state->mutex);
    state->closed = true;
}

juce::String UpdateCheck::defaultServer()
{
    return QUELLON_UPDATE_SERVER;
}

void UpdateCheck::readReply (const juce::URL& endpoint, char (&buffer)[maxReplyBytes + 1])
{
    char bytes[maxReplyBytes];
    int length = 0;

    // A reply is read only as far as it is looked at: a server that sends
    // without end costs no more than the buffer.
    if (auto stream
        = endpoint.createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress)))
    {
        while (length < maxReplyBytes)
        {
            const int n = stream->read (bytes + length, maxReplyBytes - length);

            if (n <= 0)
                break;

            length += n;
        }
    }

    decodeLatestVersionReply (bytes, length, buffer, (int) sizeof (buffer));
}

void UpdateCheck::checkForUpdate (std::shared_ptr<State> state, juce::URL endpoint)
{
    logMessage (Korvalune::LogDebug, "Checking for update...");

    char reply[maxReplyBytes + 1];
    readReply (endpoint, reply);
    logMessage (Korvalune::LogDebug, "Update check response: %s",
        escapeControlCharacters (reply, loggedReplyLength).c_str());

    if (parseLatestVersionReply (reply) <= ownVersion)
    {
        logMessage (Korvalune::LogDebug, "Application is up-to-date.");
        return;
    }

    logMessage (Korvalune::LogDebug, "There is a newer application version available!");

    std::lock_guard<std::mutex> lock (state->mutex);

    if (state->closed)
        return;

    state->newVersionAvailable = true;
    state->updater->triggerAsyncUpdate();
}
