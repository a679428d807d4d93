#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// An invisible strip by which the user drags the window it lies in (the
// window has no title bar of its own). Message thread only; no locks.
class DragBar : public juce::Component
{
public:
    DragBar();
    ~DragBar() override;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;

private:
    juce::ComponentDragger dragger;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DragBar)
};
