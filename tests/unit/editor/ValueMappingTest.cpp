#include "ValueMapping.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace
{
const Quellon::QuellonParamMap& map()
{
    static const Quellon::QuellonParamMap instance;
    return instance;
}

const ParameterInfo& info (std::uint32_t id)
{
    return *map().find ((QuellonParamID) id);
}

ParameterInfo logarithmic (double min, double max)
{
    ParameterInfo result = info (0x205);
    result.scaleKind = Quellon::ScaleLogarithmic;
    result.minValue = { 1, min };
    result.maxValue = { 1, max };
    return result;
}

const ParameterValue& sent (const ParameterValue& v)
{
    EXPECT_EQ (v.type, 0u) << "a control sends an integer-typed value";
    return v;
}
} // namespace

TEST (ValueMapping, ProportionMapsLinearlyOverTheRangeAndIsClampedFirst)
{
    EXPECT_DOUBLE_EQ (sent (valueFromProportion (info (0x200), 1.0)).value, 1.0);
    EXPECT_DOUBLE_EQ (sent (valueFromProportion (info (0x200), -0.3)).value, 0.0);
    EXPECT_DOUBLE_EQ (sent (valueFromProportion (info (0x205), 0.5)).value, -6.0);
    EXPECT_DOUBLE_EQ (sent (valueFromProportion (info (0x205), 1.3)).value, 12.0);
    EXPECT_DOUBLE_EQ (sent (valueFromProportion (info (0x205), -7.0)).value, -24.0);
    // Not rounded to the step, nor to an integer for an integer parameter.
    EXPECT_DOUBLE_EQ (valueFromProportion (info (0x205), 0.123).value, -24.0 + 36.0 * 0.123);
    EXPECT_DOUBLE_EQ (valueFromProportion (info (0x204), 0.25).value, 1.5);
}

TEST (ValueMapping, ValueMapsBackToItsProportionWithoutClamping)
{
    EXPECT_DOUBLE_EQ (proportionFromValue (info (0x205), { 1, -24.0 }), 0.0);
    EXPECT_DOUBLE_EQ (proportionFromValue (info (0x205), { 1, -6.0 }), 0.5);
    EXPECT_DOUBLE_EQ (proportionFromValue (info (0x207), { 1, 0.5 }), 0.5);
    EXPECT_DOUBLE_EQ (proportionFromValue (info (0x205), { 1, 48.0 }), 2.0);
    EXPECT_DOUBLE_EQ (proportionFromValue (info (0x200), { 1, -1.0 }), -1.0);

    for (double p : { 0.0, 0.1, 0.37, 0.5, 0.99, 1.0 })
        EXPECT_NEAR (proportionFromValue (info (0x205), valueFromProportion (info (0x205), p)), p, 1e-12);
}

TEST (ValueMapping, NonsenseFromTheUnitNeverBecomesANaNPosition)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    EXPECT_EQ (proportionFromValue (info (0x200), { 1, nan }), 0.0);
    EXPECT_EQ (proportionFromValue (info (0x200), { 1, inf }), inf); // the knob clamps it to its top

    ParameterInfo empty = info (0x200);
    empty.maxValue = empty.minValue;
    EXPECT_EQ (proportionFromValue (empty, { 1, 0.3 }), 0.0);
}

TEST (ValueMapping, LogarithmicKindMapsOnALogScale)
{
    auto lg = logarithmic (10.0, 1000.0);
    EXPECT_NEAR (valueFromProportion (lg, 0.5).value, 100.0, 1e-9);
    EXPECT_NEAR (valueFromProportion (lg, 0.0).value, 10.0, 1e-9);
    EXPECT_NEAR (valueFromProportion (lg, 2.0).value, 1000.0, 1e-9);
    EXPECT_NEAR (proportionFromValue (lg, { 1, 100.0 }), 0.5, 1e-12);

    // Without positive bounds there is no log scale: it maps linearly.
    auto bad = logarithmic (-1.0, 1.0);
    EXPECT_DOUBLE_EQ (valueFromProportion (bad, 0.75).value, 0.5);
    EXPECT_DOUBLE_EQ (proportionFromValue (bad, { 1, 0.5 }), 0.75);
    EXPECT_DOUBLE_EQ (proportionFromValue (lg, { 1, -5.0 }), (-5.0 - 10.0) / 990.0);
}

TEST (ValueMapping, TypedTextIsReadAsDisplayedThenClamped)
{
    const auto typed = [] (std::uint32_t id, const char* text)
    {
        ParameterValue value { 7, 99.0 };
        EXPECT_TRUE (valueFromText (info (id), text, value)) << text;
        return sent (value).value;
    };

    EXPECT_DOUBLE_EQ (typed (0x205, "100"), 12.0);
    EXPECT_DOUBLE_EQ (typed (0x205, "-30 dB"), -24.0);
    EXPECT_DOUBLE_EQ (typed (0x205, "-3.27"), -3.27);
    EXPECT_DOUBLE_EQ (typed (0x205, "  -3.5 dB"), -3.5);
    EXPECT_DOUBLE_EQ (typed (0x205, "+2"), 2.0);
    EXPECT_DOUBLE_EQ (typed (0x205, "-.5"), -0.5);
    EXPECT_DOUBLE_EQ (typed (0x207, "50"), 0.5);
    EXPECT_DOUBLE_EQ (typed (0x207, "50 %"), 0.5);
    EXPECT_DOUBLE_EQ (typed (0x205, "1e999"), 12.0);

    // Text that does not start with a number sets nothing.
    for (const char* text : { "loud", "", "dB -3", ".", "- 3", "nan", "-inf" })
    {
        ParameterValue value { 1, -7.5 };
        EXPECT_FALSE (valueFromText (info (0x205), text, value)) << '"' << text << '"';
        EXPECT_EQ (value.value, -7.5) << '"' << text << '"';
    }
}

TEST (ValueMapping, FormattedWithTheDecimalsScaleAndUnit)
{
    EXPECT_EQ (formatParameterValue (info (0x205), { 1, -3.5 }), "-3.5 dB");
    EXPECT_EQ (formatParameterValue (info (0x205), { 1, 0.0 }), "0.0 dB");
    EXPECT_EQ (formatParameterValue (info (0x205), { 1, 12.0 }), "12.0 dB");
    EXPECT_EQ (formatParameterValue (info (0x205), { 1, -3.27 }), "-3.3 dB");
    EXPECT_EQ (formatParameterValue (info (0x207), { 1, 0.5 }), "50 %");
    EXPECT_EQ (formatParameterValue (info (0x201), { 0, 3.0 }), "3");

    // The widest float a unit can report still fits, and nothing overflows.
    const auto widest = formatParameterValue (info (0x200), { 1, (double) std::numeric_limits<float>::max() });
    EXPECT_TRUE (widest.endsWith (" %"));
    EXPECT_LE (widest.length(), 63 + 2);
}

TEST (ValueMapping, TruncationToIntegersRefusesWhatDoesNotFit)
{
    std::int32_t v = 99;
    EXPECT_TRUE (truncateToInt32 (4.9, v));
    EXPECT_EQ (v, 4);
    EXPECT_TRUE (truncateToInt32 (-2.7, v));
    EXPECT_EQ (v, -2);
    EXPECT_TRUE (truncateToInt32 (2147483647.9, v));
    EXPECT_EQ (v, 2147483647);
    EXPECT_FALSE (truncateToInt32 (2147483648.0, v));
    EXPECT_FALSE (truncateToInt32 (-2147483649.0, v));
    EXPECT_FALSE (truncateToInt32 (std::numeric_limits<double>::quiet_NaN(), v));
    EXPECT_FALSE (truncateToInt32 (std::numeric_limits<double>::infinity(), v));
    EXPECT_EQ (v, 2147483647);
}
