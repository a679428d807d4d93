#include "QuellonParamMap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Quellon
{

namespace
{
using ParameterValue = QuellonParamMap::ParameterValue;
using ChoiceEntry = QuellonParamMap::ChoiceEntry;

std::vector<ChoiceEntry> choicesOf (const ParameterDescriptor& row)
{
    std::vector<ChoiceEntry> choices;

    if (row.scaleKind == ScaleNamesByIndex && row.choices != nullptr)
    {
        auto value = (std::int32_t) std::round (row.minValue);

        for (auto* text = static_cast<const char* const*> (row.choices); *text != nullptr; ++text)
            choices.push_back ({ *text, { 0, (double) value++ } });
    }
    else if (row.scaleKind == ScaleNamesWithValues && row.choices != nullptr)
    {
        for (auto* choice = static_cast<const ParameterChoiceValue*> (row.choices); choice->text != nullptr; ++choice)
            choices.push_back ({ choice->text, { 0, (double) choice->value } });
    }

    return choices;
}

ParameterValue rangeValue (std::uint32_t valueType, double v)
{
    if (valueType == 0)
        return { 0, (double) (std::int32_t) v };

    if (valueType == 1)
        return { 1, (double) (float) v };

    return {};
}

std::int32_t decimalsForStep (double step)
{
    const auto decimals = (std::int32_t) std::ceil (-std::log10 (step));
    return std::clamp (decimals, 0, 9);
}
} // namespace

QuellonParamMap::QuellonParamMap()
{
    for (const auto& row : ParameterDescriptorTable)
    {
        ParameterInfo info;
        info.id = (QuellonParamID) row.id;
        info.storeKey = row.id;
        info.deviceId = (std::uint16_t) (row.id & 0xFFFF);
        info.scope = row.scope;
        info.valueType = row.valueType;
        info.minValue = rangeValue (row.valueType, row.minValue);
        info.maxValue = rangeValue (row.valueType, row.maxValue);
        info.defaultValue = rangeValue (row.valueType, row.defaultValue);
        info.scaleKind = row.scaleKind;
        info.decimals = decimalsForStep (row.step);
        info.displayScale = row.displayScale;
        info.unit = row.unit;
        info.choices = choicesOf (row);
        parameters[info.id] = std::move (info);
    }
}

const QuellonParamMap::ParameterInfo* QuellonParamMap::find (QuellonParamID id) const
{
    auto it = parameters.find (id);
    return it == parameters.end() ? nullptr : &it->second;
}

Korvalune::Result parameterValueFromRaw (const QuellonParamMap::ParameterInfo& info, float raw,
                                         QuellonParamMap::ParameterValue& value)
{
    if (info.valueType == 0)
        value = { 0, std::round ((double) raw) };
    else if (info.valueType == 1)
        value = { 1, (double) raw };

    return Korvalune::okResult;
}

std::uint32_t rawFromParameterValue (const QuellonParamMap::ParameterValue& value)
{
    return floatBits ((float) value.value);
}

std::uint32_t floatBits (float value)
{
    std::uint32_t bits;
    std::memcpy (&bits, &value, sizeof (bits));
    return bits;
}

float floatFromBits (std::uint32_t bits)
{
    float value;
    std::memcpy (&value, &bits, sizeof (value));
    return value;
}

} // namespace Quellon
