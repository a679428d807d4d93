#include "support/LogCapture.h"

#include "Protocol/Log.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

LogCapture& LogCapture::instance()
{
    static LogCapture capture;
    return capture;
}

void LogCapture::install()
{
    Korvalune::setLogSink (&LogCapture::sink, this);
}

void LogCapture::sink (void* context, const char* line)
{
    auto& self = *static_cast<LogCapture*> (context);
    {
        std::lock_guard<std::mutex> lock (self.mutex);
        self.captured.emplace_back (line);
        self.added.notify_all();
    }

    if (std::getenv ("QUELLON_TEST_LOG") != nullptr)
        std::fprintf (stderr, "%s\n", line);
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock (mutex);
    captured.clear();
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard<std::mutex> lock (mutex);
    return captured;
}

bool LogCapture::contains (const std::string& text) const
{
    return count (text) > 0;
}

int LogCapture::count (const std::string& text) const
{
    std::lock_guard<std::mutex> lock (mutex);
    return countLocked ([&] (const std::string& line) { return line.find (text) != std::string::npos; });
}

bool LogCapture::waitFor (const std::string& text, std::chrono::milliseconds limit) const
{
    return waitFor ([&] (const std::string& line) { return line.find (text) != std::string::npos; }, limit);
}

bool LogCapture::waitFor (const std::function<bool (const std::string& line)>& match,
                          std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock (mutex);
    return added.wait_for (lock, limit, [&] { return countLocked (match) > 0; });
}

int LogCapture::countLocked (const std::function<bool (const std::string& line)>& match) const
{
    return (int) std::count_if (captured.begin(), captured.end(), match);
}
