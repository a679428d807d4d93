#include "ParameterDescriptorTable.h"

namespace Quellon
{

namespace
{
const char* const modelChoices[] = { "NONE", "DI", "SOLID STATE", "TUBE AMP", "SVT", nullptr };
const char* const routingChoices[] = { "INPUT", "GAIN", "DYNA", "EQ", "BLEND", "AMP", "CAB", nullptr };
const ParameterChoiceValue lateRoutingChoices[] = { { "BLEND", 4 }, { "AMP", 5 }, { "CAB", 6 }, { nullptr, 0 } };
const char* const outputChoices[] = { "OUT", "OUT+XLR", nullptr };
} // namespace

// id, scope, valueType, scaleKind, min, max, default, choices, step, unit, displayScale
const ParameterDescriptor ParameterDescriptorTable[parameterCount] = {
    { 0x200, 1, 1, 1, 0.0, 1.0, 1.0, nullptr, 1.0, "%", 100.0 },
    { 0x201, 1, 0, 0, 0.0, 4.0, 1.0, modelChoices, 1.0, nullptr, 1.0 },
    { 0x202, 1, 0, 0, 0.0, 4.0, 2.0, modelChoices, 1.0, nullptr, 1.0 },
    { 0x203, 1, 0, 0, 0.0, 4.0, 3.0, modelChoices, 1.0, nullptr, 1.0 },
    { 0x204, 1, 0, 0, 0.0, 6.0, 5.0, routingChoices, 1.0, nullptr, 1.0 },
    { 0x205, 1, 1, 1, -24.0, 12.0, 0.0, nullptr, 0.1, "dB", 1.0 },
    { 0x206, 1, 0, 3, 0.0, 6.0, 5.0, lateRoutingChoices, 1.0, nullptr, 1.0 },
    { 0x207, 1, 1, 1, 0.0, 1.0, 0.5, nullptr, 1.0, "%", 100.0 },
    { 0x208, 1, 0, 0, 0.0, 1.0, 1.0, outputChoices, 1.0, nullptr, 1.0 },
};

} // namespace Quellon
