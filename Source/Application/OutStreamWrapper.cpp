#include "Application/OutStreamWrapper.h"

#include <juce_core/juce_core.h>

namespace Korvalune
{

OutStreamWrapper::OutStreamWrapper (juce::OutputStream* s) : stream (s) {}

Result OutStreamWrapper::write (const void* data, std::size_t count)
{
    (void) stream->write (data, count);
    return okResult;
}

} // namespace Korvalune
