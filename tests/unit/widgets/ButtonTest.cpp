#include "Widgets/SimpleImageButton.h"
#include "Widgets/SimpleLabel.h"
#include "Widgets/SimpleTextButton.h"
#include "WidgetTestHelpers.h"

#include <gtest/gtest.h>

using namespace WidgetTest;
using GuiTest::mouseEvent;

namespace
{
const juce::Colour red { 0xffff0000 }, blue { 0xff0000ff }, green { 0xff00ff00 };

bool reddish (juce::Colour c) { return c.getAlpha() > 200 && c.getRed() > 200 && c.getGreen() < 60 && c.getBlue() < 60; }
bool greenish (juce::Colour c) { return c.getAlpha() > 200 && c.getGreen() > 200 && c.getRed() < 60 && c.getBlue() < 60; }

void press (juce::Component& c, juce::Point<float> at = { 5.0f, 5.0f })
{
    c.mouseDown (mouseEvent (c, at, at, leftButton));
}

void release (juce::Component& c, juce::Point<float> at = { 5.0f, 5.0f })
{
    c.mouseUp (mouseEvent (c, at, at, {}));
}
} // namespace

TEST (SimpleImageButton, DrawsOnlyWhatItHas)
{
    SimpleImageButton empty { juce::Image(), juce::Image() };
    empty.setBounds (0, 0, 40, 20);
    EXPECT_EQ (countPixels (snapshot (empty), isTransparent), 40 * 20) << "no images, no text: nothing";

    SimpleImageButton imageOnly (solid (8, 4, red), solid (8, 4, blue));
    imageOnly.setBounds (0, 0, 40, 20);
    EXPECT_EQ (countPixels (snapshot (imageOnly), reddish), 40 * 20) << "the image covers the button";

    SimpleImageButton textOnly;
    textOnly.setBounds (0, 0, 80, 30);
    textOnly.normalTextColour = green;
    textOnly.setFont (juce::Font (24.0f));
    textOnly.setText ("MENU");
    const auto shot = snapshot (textOnly);
    EXPECT_GT (countPixels (shot, greenish), 20);
    EXPECT_EQ (countPixels (shot, reddish), 0);
    EXPECT_GT (countPixels (shot, isTransparent), 80 * 30 / 2) << "the text only, no ground";
}

TEST (SimpleImageButton, FillsItsBoundsKeepingTheImagesAspect)
{
    // A 10 x 20 image, red above and blue below, in a 20 x 20 button: scaled to
    // 20 x 40 and centred, so the middle half of the image shows.
    juce::Image tall (juce::Image::ARGB, 10, 20, true);
    tall.clear ({ 0, 0, 10, 10 }, red);
    tall.clear ({ 0, 10, 10, 10 }, blue);

    SimpleImageButton button (tall, tall);
    button.setBounds (0, 0, 20, 20);
    const auto shot = snapshot (button);

    EXPECT_TRUE (reddish (shot.getPixelAt (10, 3)));
    EXPECT_EQ (shot.getPixelAt (10, 16).getBlue(), 255);
    EXPECT_EQ (countPixels (shot, isTransparent), 0);
}

TEST (SimpleImageButton, ShowsThePressedLookFromPressToReleaseAndClicksOnlyOnReleaseOverIt)
{
    SimpleImageButton button (solid (4, 4, red), solid (4, 4, blue));
    button.setBounds (0, 0, 20, 20);
    button.pressedTextColour = green;
    int clicks = 0;
    button.onClick = [&] { ++clicks; };

    press (button);
    EXPECT_TRUE (button.isPressed());
    EXPECT_EQ (snapshot (button).getPixelAt (10, 10).getBlue(), 255);
    EXPECT_EQ (clicks, 0) << "a click fires on release";

    release (button, { 20.0f, 10.0f });
    EXPECT_EQ (clicks, 0) << "released just outside: the press is taken back";
    EXPECT_FALSE (button.isPressed());
    EXPECT_TRUE (reddish (snapshot (button).getPixelAt (10, 10)));

    press (button);
    release (button, { 19.5f, 0.0f });
    EXPECT_EQ (clicks, 1) << "released over it, to its edge";

    release (button);
    EXPECT_EQ (clicks, 1) << "a release without a press is no click";
}

TEST (SimpleImageButton, UsesTheTextColourOfItsState)
{
    SimpleTextButton button;
    button.setBounds (0, 0, 100, 40);
    button.setFont (juce::Font (28.0f));
    button.setText ("MENU");
    button.normalTextColour = red;
    button.pressedTextColour = green;

    EXPECT_GT (countPixels (snapshot (button), reddish), 20);
    press (button);
    const auto pressed = snapshot (button);
    EXPECT_GT (countPixels (pressed, greenish), 20);
    EXPECT_EQ (countPixels (pressed, reddish), 0);
}

TEST (SimpleImageButton, ADoubleClickIsTwoClicksAndOneDoubleClick)
{
    SimpleLabel label;
    label.setBounds (0, 0, 20, 20);
    int clicks = 0, doubleClicks = 0;
    label.onClick = [&] { ++clicks; };

    // The framework's order: down, up, down, double-click, up.
    auto doubleClick = [&]
    {
        press (label);
        release (label);
        press (label);
        label.mouseDoubleClick (mouseEvent (label, { 5, 5 }, { 5, 5 }, leftButton, 2));
        release (label);
    };

    doubleClick();
    EXPECT_EQ (clicks, 2) << "an empty onDoubleClick is skipped";

    label.onDoubleClick = [&] { ++doubleClicks; };
    doubleClick();
    EXPECT_EQ (clicks, 4);
    EXPECT_EQ (doubleClicks, 1);
}

TEST (SimpleImageButton, EmptyClosuresAreSkipped)
{
    SimpleTextButton button;
    button.setBounds (0, 0, 20, 20);
    press (button);
    release (button);
    button.mouseDoubleClick (mouseEvent (button, { 5, 5 }, { 5, 5 }, leftButton, 2));
    EXPECT_FALSE (button.isPressed());
}
