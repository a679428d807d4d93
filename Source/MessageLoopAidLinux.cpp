#include "MessageLoopAid.h"

#include "XEventDrain.h"

std::unique_ptr<MessageLoopAid> startMessageLoopAid (juce::Component& window)
{
    return std::make_unique<XEventDrain> (window);
}
