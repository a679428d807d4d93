#pragma once

#include <mutex>
#include <string>
#include <vector>

// Collects every log line of the process while tests run, so a test can see
// that a failure was logged with its message. Installed once by the test main.
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

private:
    static void sink (void* context, const char* line);

    mutable std::mutex mutex;
    std::vector<std::string> captured;
};
