#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// One image stretched over the whole component (the main view's background).
// Message thread only; no locks.
class StaticImage : public juce::Component
{
public:
    explicit StaticImage (juce::Image imageToShow);
    ~StaticImage() override;

    void paint (juce::Graphics&) override;

private:
    juce::Image image;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StaticImage)
};
