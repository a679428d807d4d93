#include "Widgets/SimpleEditLabel.h"

SimpleEditLabel::SimpleEditLabel() : juce::Label (juce::String(), juce::String())
{
    setEditable (false, true, true);
    setJustificationType (juce::Justification::centred);
    setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
}

SimpleEditLabel::~SimpleEditLabel() = default;

void SimpleEditLabel::setText (const juce::String& newText)
{
    lastText = newText;
    juce::Label::setText (newText, juce::dontSendNotification);
}

void SimpleEditLabel::setTextColour (juce::Colour colour)
{
    setColour (juce::Label::textColourId, colour);
    setColour (juce::TextEditor::textColourId, colour);
    setColour (juce::TextEditor::outlineColourId, colour);
    setColour (juce::TextEditor::highlightColourId, colour);
    setColour (juce::TextEditor::highlightedTextColourId, colour.contrasting (1.0f));
    setColour (juce::TextEditor::focusedOutlineColourId, colour);
    setColour (juce::CaretComponent::caretColourId, colour.darker (0.4f));
}

void SimpleEditLabel::mouseDown (const juce::MouseEvent&)
{
    if (onDragStart)
        dragStartProportion = onDragStart();
}

void SimpleEditLabel::mouseDrag (const juce::MouseEvent& e)
{
    if (! onDragChange)
        return;

    const int pixels = e.mods.isShiftDown() ? fineDragPixels : dragPixels;
    onDragChange (dragStartProportion - e.getDistanceFromDragStartY() / (double) pixels);
}

void SimpleEditLabel::textWasEdited()
{
    if (onTextEntered && ! onTextEntered (getText()))
        setText (lastText);

    lastText = getText();
}
