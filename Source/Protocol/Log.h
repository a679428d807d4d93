#pragma once

#include <cstdarg>

namespace Korvalune
{

// Levels of logMessage; any other value is logged with the prefix "LOG: ".
enum LogLevel : int
{
    LogDebug = 0,
    LogInfo = 1,
    LogWarning = 2,
    LogError = 3
};

// Longest log or error line in characters; longer text is cut.
inline constexpr int maxLogLineLength = 515;

using LogSinkFunction = void (*) (void* context, const char* line);

// Routes every log line to `function` instead of standard output; null
// restores standard output. Install it before any thread that logs starts.
void setLogSink (LogSinkFunction function, void* context);

// Writes one line: a level prefix, then the formatted text.
void logMessage (int level, const char* format, ...) __attribute__ ((format (printf, 2, 3)));

// Writes one line: `head`, then `format` with `args`, cut to
// maxLogLineLength at a whole UTF-8 character. logMessage and
// makeErrorResult both end here.
void logFormattedLine (const char* head, const char* format, va_list args);

// The last step of every log line: the sink if one is installed, else stdout.
void writeLogLine (const char* line);

} // namespace Korvalune
