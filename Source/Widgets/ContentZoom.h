#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Shows a component of a fixed design size scaled to its own width. The
// content keeps its bounds in design pixels and is drawn through a transform,
// so mouse positions reach it in design coordinates.
// Message thread only; no locks.
class ContentZoom : public juce::Component
{
public:
    // `content` is not owned and must outlive this component.
    explicit ContentZoom (juce::Component* content);
    ~ContentZoom() override;

    void resized() override;

private:
    juce::Component* content;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ContentZoom)
};
