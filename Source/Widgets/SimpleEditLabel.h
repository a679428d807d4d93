#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// A value shown as text that the user changes by dragging vertically (500
// pixels cover the whole range, 2000 with Shift held) or by typing after a
// double-click. Typed text the owner refuses is put back at once.
// Message thread only; no locks.
class SimpleEditLabel : public juce::Label
{
public:
    SimpleEditLabel();
    ~SimpleEditLabel() override;

    // Given the typed text; returns whether it was taken.
    std::function<bool (const juce::String&)> onTextEntered;
    // Returns the proportion (0 to 1) from which a drag starts.
    std::function<double()> onDragStart;
    // Given the proportion a drag has reached; not clamped here.
    std::function<void (double)> onDragChange;

    // Shows a text without notifying anyone; it is also the text that a
    // refused edit goes back to.
    void setText (const juce::String& newText);
    void setTextColour (juce::Colour colour);

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;

protected:
    void textWasEdited() override;

private:
    int dragPixels = 500;
    int fineDragPixels = 2000;
    juce::String lastText;
    double dragStartProportion = 0.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SimpleEditLabel)
};
