#include "ValueMapping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
bool isLogarithmic (const ParameterInfo& info)
{
    return info.scaleKind == Quellon::ScaleLogarithmic && info.minValue.value > 0.0 && info.maxValue.value > 0.0;
}
} // namespace

ParameterValue valueFromProportion (const ParameterInfo& info, double proportion)
{
    const double p = std::clamp (proportion, 0.0, 1.0);
    const double min = info.minValue.value, max = info.maxValue.value;

    if (isLogarithmic (info))
        return { 0, std::exp (std::log (min) + (std::log (max) - std::log (min)) * p) };

    return { 0, min + (max - min) * p };
}

double proportionFromValue (const ParameterInfo& info, const ParameterValue& value)
{
    const double min = info.minValue.value, max = info.maxValue.value;
    double p = 0.0;

    if (isLogarithmic (info) && value.value > 0.0)
        p = (std::log (value.value) - std::log (min)) / (std::log (max) - std::log (min));
    else if (max != min)
        p = (value.value - min) / (max - min);

    // A unit may report any bits; a knob must never be handed a NaN.
    return std::isnan (p) ? 0.0 : p;
}

ParameterValue valueFromText (const ParameterInfo& info, const juce::String& text)
{
    double value = text.getDoubleValue() / info.displayScale;

    // "nan" parses as a number too; it must not reach the unit.
    if (std::isnan (value))
        value = 0.0;

    if (value > info.maxValue.value)
        value = info.maxValue.value;

    if (value < info.minValue.value)
        value = info.minValue.value;

    return { 0, value };
}

juce::String formatParameterValue (const ParameterInfo& info, const ParameterValue& value)
{
    char format[16];
    std::snprintf (format, sizeof (format), "%%.%df", std::clamp (info.decimals, 0, 9));

    char number[64];
    std::snprintf (number, sizeof (number), format, info.displayScale * value.value);

    auto text = juce::String (number);

    if (info.unit != nullptr)
        text << " " << juce::String::fromUTF8 (info.unit);

    return text;
}

bool truncateToInt32 (double value, std::int32_t& result)
{
    const double truncated = std::trunc (value);

    if (!(truncated >= -2147483648.0 && truncated <= 2147483647.0))
        return false;

    result = (std::int32_t) truncated;
    return true;
}
