#pragma once

#include "Application/InStreamWrapper.h"
#include "Protocol/Log.h"

#include <juce_core/juce_core.h>

// The fuzzer's bytes as an IInputStream, with the log silenced: every refused
// input logs its error line, which would drown libFuzzer's own output.
class FuzzInput
{
public:
    FuzzInput (const uint8_t* data, size_t size) : memory (data, size, false), wrapper (&memory)
    {
        Korvalune::setLogSink ([] (void*, const char*) {}, nullptr);
    }

    Korvalune::IInputStream& stream() { return wrapper; }

private:
    juce::MemoryInputStream memory;
    Korvalune::InStreamWrapper wrapper;
};
