#include "Widgets/ContentZoom.h"

ContentZoom::ContentZoom (juce::Component* contentToShow) : content (contentToShow)
{
    if (content != nullptr)
    {
        setSize (content->getWidth(), content->getHeight());
        addAndMakeVisible (content);
    }
}

ContentZoom::~ContentZoom() = default;

void ContentZoom::resized()
{
    if (content == nullptr)
        return;

    const auto scale = (float) ((double) getWidth() / (double) juce::jmax (1, content->getWidth()));
    content->setTransform (juce::AffineTransform::scale (scale));
}
