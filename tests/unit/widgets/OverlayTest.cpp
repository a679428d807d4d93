#include "Widgets/OverlayComponent.h"
#include "WidgetTestHelpers.h"

#include <gtest/gtest.h>

using namespace WidgetTest;

namespace
{
struct Overlay : OverlayComponent
{
    Overlay() { setBounds (0, 0, 640, 426); }
};

bool isWhitish (juce::Colour c) { return c.getBrightness() > 0.85f; }

// Equal but for the rounding of premultiplied alpha.
bool isNear (juce::Colour a, juce::Colour b)
{
    auto close = [] (int x, int y) { return std::abs (x - y) <= 2; };
    return close (a.getAlpha(), b.getAlpha()) && close (a.getRed(), b.getRed()) && close (a.getGreen(), b.getGreen())
           && close (a.getBlue(), b.getBlue());
}

// White pixels of the rows [y0, y1).
int whiteInRows (const juce::Image& image, int y0, int y1)
{
    return countPixels (image.getClippedImage ({ 0, y0, image.getWidth(), y1 - y0 }), isWhitish);
}
} // namespace

TEST (OverlayComponent, SplitsItsTextAtTheFirstLineFeed)
{
    Overlay overlay;
    const struct
    {
        const char* text;
        const char* headline;
        const char* detail;
    } cases[] = {
        { "Update Complete\nPlease disconnect/reconnect power supply", "Update Complete",
          "Please disconnect/reconnect power supply" },
        { "Busy", "Busy", "" },
        { "Error:\n", "Error:", "" },
        { "\nonly a detail", "", "only a detail" },
        { "one\ntwo\nthree", "one", "two\nthree" },
        { "", "", "" },
    };

    for (const auto& c : cases)
    {
        overlay.setStatusText (c.text, false);
        EXPECT_EQ (overlay.getHeadline(), juce::String (c.headline)) << c.text;
        EXPECT_EQ (overlay.getDetail(), juce::String (c.detail)) << c.text;
    }

    overlay.setStatusText ("Error:\nTimeout waiting for reconnect", true);
    EXPECT_EQ (overlay.getDetail(), "Timeout waiting for reconnect");
}

TEST (OverlayComponent, LaysOutSpinnerBarAndBoxAroundItsCentre)
{
    Overlay overlay;
    EXPECT_EQ (overlay.getSpinner().getBounds(), juce::Rectangle<int> (296, 214, 48, 48));
    EXPECT_EQ (overlay.getProgressBar().getBounds(), juce::Rectangle<int> (170, 189, 300, 10));
    EXPECT_EQ (overlay.getBoxBounds(), juce::Rectangle<int> (120, 113, 400, 200));

    overlay.setSize (1001, 301);
    EXPECT_EQ (overlay.getSpinner().getBounds(), juce::Rectangle<int> (476, 151, 48, 48));
}

TEST (OverlayComponent, StartsWithTheSpinnerShownAndTheBarHidden)
{
    Overlay overlay;
    EXPECT_TRUE (overlay.getSpinner().isVisible());
    EXPECT_FALSE (overlay.getProgressBar().isVisible());
    EXPECT_DOUBLE_EQ (overlay.getProgress(), -1.0);
    EXPECT_TRUE (overlay.getWantsKeyboardFocus());
    EXPECT_EQ (overlay.getProgressBar().findColour (juce::ProgressBar::backgroundColourId), juce::Colour (0xff222222));
    EXPECT_EQ (overlay.getProgressBar().findColour (juce::ProgressBar::foregroundColourId), juce::Colour (0xff555555));
}

TEST (OverlayComponent, PaintsTheCoverTheRoundedBoxAndTheTexts)
{
    Overlay overlay;
    overlay.setSpinnerVisible (false);
    auto shot = snapshot (overlay);

    EXPECT_TRUE (isNear (shot.getPixelAt (5, 5), juce::Colour (0xbb333333))) << "the translucent cover";
    const auto inBox = shot.getPixelAt (320, 300);
    EXPECT_GT (inBox.getAlpha(), 0xbb);
    EXPECT_LT (inBox.getBrightness(), shot.getPixelAt (5, 5).getBrightness()) << "the box is darker";
    EXPECT_TRUE (isNear (shot.getPixelAt (121, 114), juce::Colour (0xbb333333))) << "the box's corners are round";
    EXPECT_EQ (countPixels (shot, isWhitish), 0) << "empty texts draw nothing";

    overlay.headlineHeight = 26.0f;
    overlay.detailHeight = 20.0f;
    overlay.setStatusText ("Update Complete\nPlease disconnect/reconnect power supply", false);
    shot = snapshot (overlay);

    // The headline centres on y 163, the detail on y 198.
    EXPECT_GT (whiteInRows (shot, 150, 177), 100);
    EXPECT_GT (whiteInRows (shot, 188, 209), 100);
    EXPECT_EQ (whiteInRows (shot, 0, 140), 0);
    EXPECT_EQ (whiteInRows (shot, 215, 426), 0);
}

TEST (OverlayComponent, ShowsTheProgressBarOnlyForProgressFromZero)
{
    Overlay overlay;
    overlay.setProgress (0.0);
    EXPECT_TRUE (overlay.getProgressBar().isVisible());
    overlay.setProgress (-1.0);
    EXPECT_FALSE (overlay.getProgressBar().isVisible());
    overlay.setProgress (0.5);
    EXPECT_TRUE (overlay.getProgressBar().isVisible());
    EXPECT_DOUBLE_EQ (overlay.getProgress(), 0.5);

    // The bar reads the value on its own timer and moves toward it.
    auto& bar = overlay.getProgressBar();
    auto filledUpTo = [&]
    {
        const auto shot = snapshot (bar);
        int lastLight = -1;
        for (int x = 0; x < shot.getWidth(); ++x)
            if (shot.getPixelAt (x, 5).getRed() >= 0x45)
                lastLight = x;
        return lastLight;
    };
    ASSERT_TRUE (GuiTest::runUntil ([&] { return std::abs (filledUpTo() - 150) <= 6; }))
        << "filled up to x " << filledUpTo() << " of 300";
}

TEST (OverlayComponent, AClickOnTheOverlayReachesNothingBeneathIt)
{
    juce::Component view;
    view.setBounds (0, 0, 640, 426);
    view.setVisible (true);
    juce::TextButton control ("beneath");
    control.setBounds (20, 20, 100, 30);
    view.addAndMakeVisible (control);
    Overlay overlay;
    view.addAndMakeVisible (overlay);

    EXPECT_EQ (view.getComponentAt (30, 30), &overlay);
    EXPECT_EQ (view.getComponentAt (320, 238), &overlay.getSpinner());

    overlay.setOverlayVisible (false);
    EXPECT_EQ (view.getComponentAt (30, 30), &control);
}

TEST (BusySpinner, PaintsItsBrightestSegmentAtTheTurnsPosition)
{
    BusySpinner spinner;
    spinner.setBounds (0, 0, 48, 48);
    const auto shot = snapshot (spinner);

    // Segment centres at 0.7 of the radius (24) from the centre.
    auto at = [&] (double degreesClockwise)
    {
        const auto a = juce::degreesToRadians (degreesClockwise);
        return shot.getPixelAt (24 + juce::roundToInt (16.8 * std::sin (a)),
                                24 - juce::roundToInt (16.8 * std::cos (a)));
    };

    EXPECT_EQ (spinner.getPosition(), 0);
    const auto up = at (0), oneOClock = at (30), elevenOClock = at (-30), six = at (180);
    EXPECT_GT (up.getBrightness(), elevenOClock.getBrightness()) << "brightest at 12 o'clock";
    EXPECT_GT (elevenOClock.getBrightness(), six.getBrightness()) << "next brightest counter-clockwise";
    EXPECT_LT (oneOClock.getBrightness(), six.getBrightness()) << "faintest at 1 o'clock";
    EXPECT_TRUE (isNear (up, juce::Colour (0xb3d3d3d3))) << "the bright colour at 12 o'clock";
    EXPECT_TRUE (isTransparent (shot.getPixelAt (24, 24))) << "the middle is open";

    EXPECT_FALSE (spinner.isTurning()) << "not showing, so not turning";
}
