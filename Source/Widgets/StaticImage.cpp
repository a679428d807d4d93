#include "Widgets/StaticImage.h"

StaticImage::StaticImage (juce::Image imageToShow) : image (std::move (imageToShow)) {}

StaticImage::~StaticImage() = default;

void StaticImage::paint (juce::Graphics& g)
{
    if (image.isValid())
        g.drawImage (image, getLocalBounds().toFloat(), juce::RectanglePlacement::stretchToFit);
}
