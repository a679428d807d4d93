#pragma once

#include "ParameterDescriptorTable.h"
#include "Protocol/Result.h"
#include "QuellonParamID.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Quellon
{

enum ScaleKind : std::uint32_t
{
    ScaleNamesByIndex = 0,
    ScaleLinear = 1,
    ScaleLogarithmic = 2,
    ScaleNamesWithValues = 3
};

// The description of the nine parameters, built once from the descriptor
// table and read-only afterwards, so any thread may read it without a lock.
// Current values live elsewhere, as the raw words the unit exchanges.
class QuellonParamMap
{
public:
    struct ParameterValue
    {
        std::uint32_t type = 0;   // 0 integer, 1 float
        double value = 0.0;       // an integer is held as a whole number
    };

    struct ChoiceEntry
    {
        std::string text;
        ParameterValue value;   // always an integer
    };

    struct ParameterInfo
    {
        QuellonParamID id {};
        std::uint32_t storeKey = 0;   // key of the raw word in the globals store
        std::uint16_t deviceId = 0;   // number sent in the set-parameter message
        std::uint32_t scope = 0;
        std::uint32_t valueType = 0;
        ParameterValue minValue, maxValue, defaultValue;
        std::uint32_t scaleKind = 0;
        std::int32_t decimals = 0;
        double displayScale = 1.0;
        const char* unit = nullptr;   // static text or null; not owned
        std::vector<ChoiceEntry> choices;
    };

    QuellonParamMap();

    const ParameterInfo* find (QuellonParamID id) const;
    const std::map<QuellonParamID, ParameterInfo>& entries() const { return parameters; }

private:
    std::map<QuellonParamID, ParameterInfo> parameters;
};

// The value a stored word stands for: an integer parameter rounds the float
// (halves away from zero), a float parameter widens it. Always succeeds.
Korvalune::Result parameterValueFromRaw (const QuellonParamMap::ParameterInfo& info, float raw,
                                         QuellonParamMap::ParameterValue& value);

// The raw word written for a value: the bits of its nearest single-precision float.
std::uint32_t rawFromParameterValue (const QuellonParamMap::ParameterValue& value);

// The bits of a float and back, as the unit stores them.
std::uint32_t floatBits (float value);
float floatFromBits (std::uint32_t bits);

} // namespace Quellon
