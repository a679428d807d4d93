#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// A push button drawn from two images (normal and held down) and an optional
// text. It reports a click when a press of it ends with the pointer over it
// (a release elsewhere cancels the press), and a double-click; it knows
// nothing of what they mean.
// Message thread only; no locks.
class SimpleImageButton : public juce::Component
{
public:
    // The text form: no images, only the text.
    SimpleImageButton();
    SimpleImageButton (juce::Image normalImage, juce::Image pressedImage);
    ~SimpleImageButton() override;

    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

    // Written directly by the owner, who then repaints the button.
    juce::Colour normalTextColour { 0x00000000 };
    juce::Colour pressedTextColour { 0x00000000 };

    void setText (const juce::String& newText);
    void setFont (const juce::Font& newFont);

    const juce::String& getText() const noexcept { return text; }
    const juce::Font& getFont() const noexcept { return font; }
    bool isPressed() const noexcept { return pressed; }

    void mouseDown (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

private:
    juce::Image normal;
    juce::Image held;
    bool pressed = false;
    juce::String text;
    juce::Font font;
    juce::Justification justification { juce::Justification::centred };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SimpleImageButton)
};
