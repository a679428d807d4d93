#include "Protocol/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

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

void logMessage (int level, const char* format, ...)
{
    char line[maxLogLineLength + 1];
    int used = std::snprintf (line, sizeof (line), "%s", prefixForLevel (level));

    va_list args;
    va_start (args, format);
    std::vsnprintf (line + used, sizeof (line) - (size_t) used, format, args);
    va_end (args);

    writeLogLine (line);
}

} // namespace Korvalune
