#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Collects every log line of the process while tests run, so a test can see
// that a failure was logged with its message. Installed once by the test main.
// Threads: any thread logs into it and any thread reads it; `mutex` guards
// `captured` and is the only lock it takes, so logging under another lock is safe.
class LogCapture
{
public:
    static LogCapture& instance();

    void install();
    void clear();
    std::vector<std::string> lines() const;

    // True when some line holds `text`.
    bool contains (const std::string& text) const;
    // Number of lines that hold `text`.
    int count (const std::string& text) const;
    // Waits until some line holds `text` (or matches); false when the limit passed first.
    bool waitFor (const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds (20)) const;
    bool waitFor (const std::function<bool (const std::string& line)>& match,
                  std::chrono::milliseconds limit = std::chrono::seconds (20)) const;

private:
    static void sink (void* context, const char* line);

    int countLocked (const std::function<bool (const std::string& line)>& match) const;

    mutable std::mutex mutex;
    mutable std::condition_variable added;
    std::vector<std::string> captured;
};
