#include "RepaintPump.h"

std::unique_ptr<juce::Timer> startRepaintPumpIfNeeded()
{
    return nullptr;
}
