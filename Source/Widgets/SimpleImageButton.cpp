#include "Widgets/SimpleImageButton.h"

SimpleImageButton::SimpleImageButton() = default;

SimpleImageButton::SimpleImageButton (juce::Image normalImage, juce::Image pressedImage)
    : normal (std::move (normalImage)), held (std::move (pressedImage))
{
}

SimpleImageButton::~SimpleImageButton() = default;

void SimpleImageButton::setText (const juce::String& newText)
{
    text = newText;
    repaint();
}

void SimpleImageButton::setFont (const juce::Font& newFont)
{
    font = newFont;
    repaint();
}

void SimpleImageButton::mouseDown (const juce::MouseEvent&)
{
    pressed = true;
    repaint();
}

void SimpleImageButton::mouseUp (const juce::MouseEvent& event)
{
    if (! pressed)
        return;

    pressed = false;
    repaint();

    // Moving away before letting go takes a press back, as on any desktop
    // button: a slip off the close button must not quit the editor.
    if (onClick && getLocalBounds().toFloat().contains (event.position))
        onClick();
}

void SimpleImageButton::mouseDoubleClick (const juce::MouseEvent&)
{
    if (onDoubleClick)
        onDoubleClick();
}

void SimpleImageButton::paint (juce::Graphics& g)
{
    const bool lit = pressed;
    const auto& image = lit ? held : normal;

    if (image.isValid())
        g.drawImage (image, getLocalBounds().toFloat(), juce::RectanglePlacement::fillDestination);

    if (text.isNotEmpty())
    {
        g.setColour (lit ? pressedTextColour : normalTextColour);
        g.setFont (font);
        g.drawFittedText (text, getLocalBounds(), justification, 2, 0.0f);
    }
}
