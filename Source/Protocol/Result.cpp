#include "Protocol/Result.h"

#include "Protocol/Log.h"

#include <cstdarg>
#include <cstdio>

namespace Korvalune
{

Result makeErrorResult (const char* file, int line, const char* format, ...)
{
    char head[maxLogLineLength + 1];
    std::snprintf (head, sizeof (head), "Error at %s:%d: ", file, line);

    va_list args;
    va_start (args, format);
    logFormattedLine (head, format, args);
    va_end (args);

    return { false, format };
}

const char* fileNameFromPath (const char* path)
{
    const char* name = path;

    for (const char* c = path; *c != '\0'; ++c)
        if (*c == '/' || *c == '\\')
            name = c + 1;

    return name;
}

} // namespace Korvalune
