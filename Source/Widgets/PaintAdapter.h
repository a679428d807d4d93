#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// A component that draws whatever its owner's closure draws (the main view's
// routing lines). Message thread only; no locks.
class PaintAdapter : public juce::Component
{
public:
    explicit PaintAdapter (std::function<void (juce::Graphics&)> paintFunction);
    ~PaintAdapter() override;

    void paint (juce::Graphics&) override;

private:
    std::function<void (juce::Graphics&)> painter;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PaintAdapter)
};
