#pragma once

#include "Application/IOutputStream.h"

namespace juce { class OutputStream; }

namespace Korvalune
{

// A JUCE output stream behind IOutputStream, not owned. Only ever put over
// in-memory streams, whose writes cannot fail, so every write succeeds.
class OutStreamWrapper : public IOutputStream
{
public:
    explicit OutStreamWrapper (juce::OutputStream* stream);

    Result write (const void* data, std::size_t count) override;

private:
    juce::OutputStream* stream;
};

} // namespace Korvalune
