#pragma once

#include "Application/IInputStream.h"

namespace juce { class InputStream; }

namespace Korvalune
{

// A JUCE input stream behind IInputStream. It does not own the stream: whoever
// made the wrapper keeps the stream alive at least as long and deletes it.
class InStreamWrapper : public IInputStream
{
public:
    explicit InStreamWrapper (juce::InputStream* stream);

    Result read (void* buffer, int count, int* got) override;
    bool isExhausted() override;

private:
    juce::InputStream* stream;
};

} // namespace Korvalune
