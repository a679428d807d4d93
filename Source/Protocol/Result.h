#pragma once

namespace Korvalune
{

// The outcome of every device, file and service operation. A failure carries
// the unformatted message literal; the formatted text with its values went to
// the log when the Result was made. A Result never owns its message, so it is
// copied freely and costs a flag and a pointer.
class [[nodiscard]] Result
{
public:
    bool ok;
    const char* message;
};

// The one success value; every operation that succeeds returns a copy.
inline constexpr Result okResult { true, nullptr };

// Logs "Error at <file>:<line>: <formatted message>" and returns a failure
// whose message is `format` itself. `format` must be a string literal.
Result makeErrorResult (const char* file, int line, const char* format, ...)
    __attribute__ ((format (printf, 3, 4)));

// The part of a path behind its last '/' or '\\'; the whole path without one.
const char* fileNameFromPath (const char* path);

} // namespace Korvalune

// Makes a failure at the caller's own source position.
#define KORVALUNE_ERROR(...) \
    ::Korvalune::makeErrorResult (::Korvalune::fileNameFromPath (__FILE__), __LINE__, __VA_ARGS__)
