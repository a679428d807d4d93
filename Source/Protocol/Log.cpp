#include "Protocol/Log.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace Korvalune
{

namespace
{
std::atomic<LogSinkFunction> sinkFunction { nullptr };
std::atomic<void*> sinkContext { nullptr };

const char* prefixForLevel (int level)
{
    switch (level)
    {
        case LogDebug:   return "DEBUG: ";
        case LogInfo:    return "INFO: ";
        case LogWarning: return "WARNING: ";
        case LogError:   return "ERROR: ";
        default:         return "LOG: ";
    }
}

// A line cut at its limit may end inside a UTF-8 character: drop what there
// is of it, so that the log stays valid UTF-8.
void dropPartialCharacter (char* line)
{
    const auto length = std::strlen (line);
    auto lead = length;

    while (lead > 0 && length - lead < 4 && (static_cast<unsigned char> (line[lead - 1]) & 0xC0) == 0x80)
        --lead;

    if (lead == 0)
        return;

    const auto first = static_cast<unsigned char> (line[--lead]);
    const std::size_t needed = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;

    if (length - lead < needed)
        line[lead] = '\0';
}
} // namespace

void setLogSink (LogSinkFunction function, void* context)
{
    sinkContext.store (context, std::memory_order_release);
    sinkFunction.store (function, std::memory_order_release);
}

void writeLogLine (const char* line)
{
    if (auto function = sinkFunction.load (std::memory_order_acquire))
    {
        function (sinkContext.load (std::memory_order_acquire), line);
        return;
    }

    std::puts (line);
    std::fflush (stdout);
}

void logFormattedLine (const char* head, const char* format, va_list args)
{
    char line[maxLogLineLength + 1];
    const int used = std::snprintf (line, sizeof (line), "%s", head);
    bool cut = used < 0 || (std::size_t) used >= sizeof (line);

    if (! cut)
    {
        const int wanted = std::vsnprintf (line + used, sizeof (line) - (std::size_t) used, format, args);
        cut = wanted < 0 || (std::size_t) (used + wanted) >= sizeof (line);
    }

    if (cut)
        dropPartialCharacter (line);

    writeLogLine (line);
}

void logMessage (int level, const char* format, ...)
{
    va_list args;
    va_start (args, format);
    logFormattedLine (prefixForLevel (level), format, args);
    va_end (args);
}

} // namespace Korvalune
