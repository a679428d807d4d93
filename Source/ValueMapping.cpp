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

bool startsWithNumber (const juce::String& text)
{
    auto p = text.getCharPointer().findEndOfWhitespace();

    if (*p == '-' || *p == '+')
        ++p;

    if (*p == '.')
        ++p;

    return juce::CharacterFunctions::isDigit (*p);
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

bool valueFromText (const ParameterInfo& info, const juce::String& text, ParameterValue& value)
{
    // The framework reads "loud" or an empty text as 0, and "nan" or "inf" as
    // numbers: none of them is what the user meant to set.
    if (!startsWithNumber (text))
        return false;

    double number = text.getDoubleValue() / info.displayScale;

    if (std::isnan (number))
        return false;

    if (number > info.maxValue.value)
        number = info.maxValue.value;

    if (number < info.minValue.value)
        number = info.minValue.value;

    value = { 0, number };
    return true;
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
