#pragma once

#include "QuellonParamMap.h"

#include <cstdint>
#include <juce_core/juce_core.h>

// How the controls translate between a parameter's value, the 0..1 position
// of a knob or a drag, and the text the user reads and types. A control sends
// its number as an integer value whatever the parameter's type: the service
// writes every value as a 32-bit float.

using ParameterInfo = Quellon::QuellonParamMap::ParameterInfo;
using ParameterValue = Quellon::QuellonParamMap::ParameterValue;

// The value at a position; the position is limited to 0..1, the value is not
// rounded. A logarithmic parameter needs positive bounds; without them it is
// mapped linearly.
ParameterValue valueFromProportion (const ParameterInfo& info, double proportion);

// The position of a value, not limited to 0..1 (the knob limits it). A value
// that is not a number, or a parameter whose range is empty, gives 0.
double proportionFromValue (const ParameterInfo& info, const ParameterValue& value);

// The value the user typed: the leading number of the text divided by the
// display scale and limited to the parameter's range. False, with `value`
// untouched, when the text does not start with a number: blanks, an optional
// sign, then digits with an optional decimal point (".5" is a number, "." is
// not).
bool valueFromText (const ParameterInfo& info, const juce::String& text, ParameterValue& value);

// The value as shown: multiplied by the display scale, with the parameter's
// decimals, then a blank and the unit when it has one.
juce::String formatParameterValue (const ParameterInfo& info, const ParameterValue& value);

// A value truncated toward zero to a 32-bit integer, as the choice labels and
// the routing lines read it; false when it is not a number or out of range.
bool truncateToInt32 (double value, std::int32_t& result);
