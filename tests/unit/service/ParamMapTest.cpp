#include "QuellonParamMap.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Quellon;
using ParameterValue = QuellonParamMap::ParameterValue;

namespace
{
const QuellonParamMap& map()
{
    static const QuellonParamMap instance;
    return instance;
}

const QuellonParamMap::ParameterInfo& info (std::uint32_t id)
{
    auto* entry = map().find ((QuellonParamID) id);
    EXPECT_NE (entry, nullptr) << std::hex << id;
    return *entry;
}

ParameterValue fromRaw (std::uint32_t id, float raw)
{
    ParameterValue value { 7, 7.0 };
    EXPECT_TRUE (parameterValueFromRaw (info (id), raw, value).ok);
    return value;
}

std::vector<std::pair<std::string, double>> choicesOf (std::uint32_t id)
{
    std::vector<std::pair<std::string, double>> out;
    for (auto& c : info (id).choices)
    {
        EXPECT_EQ (c.value.type, 0u);
        out.emplace_back (c.text, c.value.value);
    }
    return out;
}
} // namespace

TEST (ParamMap, HoldsTheNineParametersKeyedByNumber)
{
    ASSERT_EQ (map().entries().size(), 9u);
    EXPECT_EQ (map().find ((QuellonParamID) 0x209), nullptr);
    EXPECT_EQ (map().find ((QuellonParamID) 0x1FF), nullptr);

    for (auto& [id, entry] : map().entries())
    {
        EXPECT_EQ (entry.id, id);
        EXPECT_EQ (entry.storeKey, (std::uint32_t) id);
        EXPECT_EQ (entry.deviceId, (std::uint16_t) id);
        EXPECT_EQ (entry.scope, 1u);
    }
}

TEST (ParamMap, RangesAndDefaultsTakeTheParameterType)
{
    const auto& level = info (0x200);
    EXPECT_EQ (level.valueType, 1u);
    EXPECT_EQ (level.defaultValue.type, 1u);
    EXPECT_EQ (level.defaultValue.value, 1.0);
    EXPECT_EQ (level.displayScale, 100.0);
    EXPECT_STREQ (level.unit, "%");

    const auto& gain = info (0x205);
    EXPECT_EQ (gain.minValue.value, -24.0);
    EXPECT_EQ (gain.maxValue.value, 12.0);
    EXPECT_EQ (gain.decimals, 1);
    EXPECT_STREQ (gain.unit, "dB");
    EXPECT_TRUE (gain.choices.empty());

    const auto& routing = info (0x204);
    EXPECT_EQ (routing.defaultValue.type, 0u);
    EXPECT_EQ (routing.defaultValue.value, 5.0);
    EXPECT_EQ (routing.maxValue.value, 6.0);
    EXPECT_EQ (routing.decimals, 0);
    EXPECT_EQ (routing.unit, nullptr);

    EXPECT_EQ (info (0x207).defaultValue.value, 0.5);
}

TEST (ParamMap, ChoicesByIndexAndWithExplicitValues)
{
    using Choices = std::vector<std::pair<std::string, double>>;
    const Choices models { { "NONE", 0 }, { "DI", 1 }, { "SOLID STATE", 2 }, { "TUBE AMP", 3 }, { "SVT", 4 } };

    for (auto id : { 0x201u, 0x202u, 0x203u })
        EXPECT_EQ (choicesOf (id), models);

    EXPECT_EQ (choicesOf (0x204), (Choices { { "INPUT", 0 }, { "GAIN", 1 }, { "DYNA", 2 }, { "EQ", 3 },
                                              { "BLEND", 4 }, { "AMP", 5 }, { "CAB", 6 } }));
    EXPECT_EQ (choicesOf (0x206), (Choices { { "BLEND", 4 }, { "AMP", 5 }, { "CAB", 6 } }));
    EXPECT_EQ (info (0x206).scaleKind, (std::uint32_t) ScaleNamesWithValues);
    EXPECT_EQ (choicesOf (0x208), (Choices { { "OUT", 0 }, { "OUT+XLR", 1 } }));
}

TEST (ParamMap, RawWordsRoundHalvesAwayFromZeroForIntegers)
{
    EXPECT_EQ (fromRaw (0x204, 2.5f).value, 3.0);
    EXPECT_EQ (fromRaw (0x204, 2.4f).value, 2.0);
    EXPECT_EQ (fromRaw (0x204, -2.5f).value, -3.0);
    EXPECT_EQ (fromRaw (0x204, 2.5f).type, 0u);
}

TEST (ParamMap, RawWordsWidenForFloats)
{
    auto value = fromRaw (0x207, 0.1f);
    EXPECT_EQ (value.type, 1u);
    EXPECT_EQ (value.value, 0.10000000149011612);
}

TEST (ParamMap, UnknownValueTypeLeavesTheValueAlone)
{
    auto odd = info (0x200);
    odd.valueType = 2;
    ParameterValue value { 7, 7.0 };
    EXPECT_TRUE (parameterValueFromRaw (odd, 1.0f, value).ok);
    EXPECT_EQ (value.type, 7u);
    EXPECT_EQ (value.value, 7.0);
}

TEST (ParamMap, WrittenWordsAreTheNearestFloatBits)
{
    EXPECT_EQ (rawFromParameterValue ({ 1, 0.5 }), 0x3F000000u);
    EXPECT_EQ (rawFromParameterValue ({ 0, 5.0 }), 0x40A00000u);
    EXPECT_EQ (rawFromParameterValue ({ 1, -24.0 }), floatBits (-24.0f));
    EXPECT_EQ (floatFromBits (floatBits (0.1f)), 0.1f);
}
