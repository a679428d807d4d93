#include "Widgets/PaintAdapter.h"

PaintAdapter::PaintAdapter (std::function<void (juce::Graphics&)> paintFunction) : painter (std::move (paintFunction)) {}

PaintAdapter::~PaintAdapter() = default;

void PaintAdapter::paint (juce::Graphics& g)
{
    if (painter)
        painter (g);
}
