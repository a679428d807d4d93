#pragma once

#include <cstddef>
#include <cstdint>

namespace Quellon
{

// A choice of a parameter whose choices carry explicit values.
struct ParameterChoiceValue
{
    const char* text;   // null ends the list
    std::int32_t value;
};

// One row of the built-in description of a parameter. Static and read-only.
struct ParameterDescriptor
{
    std::uint32_t id;
    std::uint32_t scope;
    std::uint32_t valueType;   // 0 integer, 1 float
    std::uint32_t scaleKind;
    double minValue;
    double maxValue;
    double defaultValue;
    // scaleKind 0: const char* const* ended by null; scaleKind 3: const
    // ParameterChoiceValue* ended by a null text; otherwise null.
    const void* choices;
    double step;
    const char* unit;
    double displayScale;
};

inline constexpr std::size_t parameterCount = 9;

extern const ParameterDescriptor ParameterDescriptorTable[parameterCount];

} // namespace Quellon
