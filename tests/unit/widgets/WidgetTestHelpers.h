#pragma once

#include "support/GuiTestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace WidgetTest
{
inline juce::Image solid (int width, int height, juce::Colour colour)
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    image.clear (image.getBounds(), colour);
    return image;
}

// What the component draws, on a transparent ground.
inline juce::Image snapshot (juce::Component& component)
{
    return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
}

inline int countPixels (const juce::Image& image, const std::function<bool (juce::Colour)>& match)
{
    int n = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            n += match (image.getPixelAt (x, y)) ? 1 : 0;
    return n;
}

inline bool isTransparent (juce::Colour c) { return c.getAlpha() == 0; }

const juce::ModifierKeys leftButton { juce::ModifierKeys::leftButtonModifier };
const juce::ModifierKeys leftButtonWithShift { juce::ModifierKeys::leftButtonModifier
                                               | juce::ModifierKeys::shiftModifier };

// A press at `at`, then a drag to `at` + (0, dy), as the framework delivers them.
template <typename Widget>
void pressAndDrag (Widget& widget, float dy, juce::ModifierKeys mods = leftButton,
                   juce::Point<float> at = { 10.0f, 10.0f })
{
    widget.mouseDown (GuiTest::mouseEvent (widget, at, at, mods));
    widget.mouseDrag (GuiTest::mouseEvent (widget, at.translated (0.0f, dy), at, mods));
}
} // namespace WidgetTest
