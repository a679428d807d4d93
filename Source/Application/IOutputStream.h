#pragma once

#include "Protocol/Result.h"

#include <cstddef>

namespace Korvalune
{

// Byte output of the data-file and bundle code, free of the framework's streams.
class IOutputStream
{
public:
    virtual ~IOutputStream() = default;

    virtual Result write (const void* data, std::size_t count) = 0;
};

} // namespace Korvalune
