#include "Protocol/Result.h"

#include "Protocol/Log.h"

#include <cstdarg>
#include <cstdio>

namespace Korvalune
{

Result makeErrorResult (const char* file, int line, const char* format, ...)
{
    char text[maxLogLineLength + 1];
    int used = std::snprintf (text, sizeof (text), "Error at %s:%d: ", file, line);

    if (used >= 0 && (size_t) used < sizeof (text))
    {
        va_list args;
        va_start (args, format);
        std::vsnprintf (text + used, sizeof (text) - (size_t) used, format, args);
        va_end (args);
    }

    writeLogLine (text);
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
