#pragma once

#include "Application/IInputStream.h"

namespace juce { class InputStream; }

namespace Korvalune
{

// A JUCE input stream behind IInputStream. It does not own the stream: whoever
// made the wrapper keeps the stream alive at least as long and deletes it.
// A read that brings nothing counts as the end even when the wrapped stream
// still claims more (a zip entry whose stated size runs past its file does),
// so no reader can loop on a stream that never ends.
class InStreamWrapper : public IInputStream
{
public:
    explicit InStreamWrapper (juce::InputStream* stream);

    Result read (void* buffer, int count, int* got) override;
    bool isExhausted() override;

private:
    juce::InputStream* stream;
    bool ended = false;
};

} // namespace Korvalune
