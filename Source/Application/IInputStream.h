#pragma once

#include "Protocol/Result.h"

namespace Korvalune
{

// Byte input of the data-file and bundle code, free of the framework's streams.
class IInputStream
{
public:
    virtual ~IInputStream() = default;

    // Reads up to `count` bytes; on success *got is the number read, 0 at the end.
    virtual Result read (void* buffer, int count, int* got) = 0;

    // True when no byte is left.
    virtual bool isExhausted() = 0;
};

} // namespace Korvalune
