#pragma once

#include "Application/InStreamWrapper.h"
#include "Application/OutStreamWrapper.h"

#include <juce_core/juce_core.h>

#include <string>
#include <vector>

// An IInputStream over a copy of some bytes, for feeding the readers.
class MemoryIn
{
public:
    explicit MemoryIn (const std::string& text) : MemoryIn (text.data(), text.size()) {}
    MemoryIn (const void* data, size_t size) : memory (data, size, true), wrapper (&memory) {}

    Korvalune::IInputStream& stream() { return wrapper; }
    operator Korvalune::IInputStream&() { return wrapper; }

private:
    juce::MemoryInputStream memory;
    Korvalune::InStreamWrapper wrapper;
};

// An IOutputStream into memory, for reading back what a writer wrote.
class MemoryOut
{
public:
    MemoryOut() : wrapper (&memory) {}

    Korvalune::IOutputStream& stream() { return wrapper; }
    operator Korvalune::IOutputStream&() { return wrapper; }

    std::string text() const { return { static_cast<const char*> (memory.getData()), memory.getDataSize() }; }
    std::vector<uint8_t> bytes() const
    {
        auto* p = static_cast<const uint8_t*> (memory.getData());
        return { p, p + memory.getDataSize() };
    }

private:
    juce::MemoryOutputStream memory;
    Korvalune::OutStreamWrapper wrapper;
};
