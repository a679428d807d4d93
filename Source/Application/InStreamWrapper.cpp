#include "Application/InStreamWrapper.h"

#include <juce_core/juce_core.h>

namespace Korvalune
{

InStreamWrapper::InStreamWrapper (juce::InputStream* s) : stream (s) {}

Result InStreamWrapper::read (void* buffer, int count, int* got)
{
    const int n = stream->read (buffer, count);

    if (n < 0)
        return KORVALUNE_ERROR ("Stream read failed");

    ended = ended || (n == 0 && count > 0);
    *got = n;
    return okResult;
}

bool InStreamWrapper::isExhausted()
{
    return ended || stream->isExhausted();
}

} // namespace Korvalune
