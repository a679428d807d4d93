#include "Widgets/FilmStripKnob.h"
#include "WidgetTestHelpers.h"

#include <gtest/gtest.h>

using namespace WidgetTest;

namespace
{
// One column of `frames` frames of 10 x 12, frame i filled with grey level i.
juce::Image numberedStrip (int frames)
{
    juce::Image strip (juce::Image::ARGB, 10, 12 * frames, true);
    for (int i = 0; i < frames; ++i)
        strip.clear ({ 0, 12 * i, 10, 12 }, juce::Colour ((juce::uint8) i, (juce::uint8) i, (juce::uint8) i));
    return strip;
}

struct Knob : FilmStripKnob
{
    Knob()
    {
        setBounds (0, 0, 73, 78);
        setFilmStrip (numberedStrip (99), 1, 99, -1);
        onValueChange = [this] (double v) { reported.push_back (v); };
    }

    std::vector<double> reported;
};
} // namespace

TEST (FilmStripKnob, TakesItsFramesFromTheGrid)
{
    Knob knob;
    EXPECT_EQ (knob.getFrameCount(), 99);

    knob.setProportion (0.5);
    EXPECT_EQ (knob.getCurrentFrame(), 49);
    knob.setProportion (1.0);
    EXPECT_EQ (knob.getCurrentFrame(), 98);
    knob.updateFrame (1.7);
    EXPECT_EQ (knob.getCurrentFrame(), 98) << "values beyond the range show the end frame";
    EXPECT_DOUBLE_EQ (knob.getValue(), 1.7);
    EXPECT_DOUBLE_EQ (knob.getProportion(), 1.0);

    knob.setFilmStrip (numberedStrip (99), 1, 99, 10);
    EXPECT_EQ (knob.getCurrentFrame(), 9) << "only the first ten frames are shown";
    knob.setProportion (0.0);
    EXPECT_EQ (knob.getCurrentFrame(), 0);

    juce::Image grid (juce::Image::ARGB, 40, 36, true);   // 4 x 3 frames of 10 x 12
    knob.setFilmStrip (grid, 4, 3, -1);
    EXPECT_EQ (knob.getFrameCount(), 12);
}

TEST (FilmStripKnob, PaintsTheCurrentFrameCentredWithItsAspect)
{
    Knob knob;
    knob.setProportion (0.5);
    auto shot = snapshot (knob);
    EXPECT_EQ (shot.getPixelAt (36, 39).getRed(), 49);
    // 73 x 78 holds the 10 x 12 frame at 65 x 78, from x 4.
    EXPECT_TRUE (isTransparent (shot.getPixelAt (3, 39)));
    EXPECT_FALSE (isTransparent (shot.getPixelAt (4, 39)));
    EXPECT_FALSE (isTransparent (shot.getPixelAt (68, 39)));
    EXPECT_EQ (countPixels (shot, isTransparent), 8 * 78);

    knob.setBounds (0, 0, 40, 12);   // wide: the frame is drawn 10 x 12 at x 15
    knob.setProportion (0.25);
    shot = snapshot (knob);
    EXPECT_TRUE (isTransparent (shot.getPixelAt (14, 6)));
    EXPECT_EQ (shot.getPixelAt (15, 6).getRed(), 25);
    EXPECT_EQ (shot.getPixelAt (24, 6).getRed(), 25);
    EXPECT_TRUE (isTransparent (shot.getPixelAt (25, 6)));
}

TEST (FilmStripKnob, WithoutAFilmStripItDrawsNothing)
{
    FilmStripKnob knob;
    knob.setBounds (0, 0, 20, 20);
    knob.updateFrame (0.5);
    EXPECT_EQ (countPixels (snapshot (knob), isTransparent), 400);

    knob.setFilmStrip (juce::Image(), 1, 99, -1);
    EXPECT_EQ (countPixels (snapshot (knob), isTransparent), 400);
}

TEST (FilmStripKnob, DragsByTwoHundredPixelsOrAThousandWithShift)
{
    Knob knob;
    knob.setProportion (0.3);
    pressAndDrag (knob, 100.0f);
    EXPECT_DOUBLE_EQ (knob.getValue(), 0.0) << "0.3 - 0.5, clamped";

    knob.setProportion (0.3);
    pressAndDrag (knob, 100.0f, leftButtonWithShift);
    EXPECT_NEAR (knob.getValue(), 0.2, 1e-12);

    knob.setProportion (0.3);
    pressAndDrag (knob, -60.5f);
    EXPECT_NEAR (knob.getValue(), 0.6, 1e-12) << "dy -60.5 rounds to -60";

    knob.setProportion (0.9);
    pressAndDrag (knob, -400.0f);
    EXPECT_DOUBLE_EQ (knob.getValue(), 1.0);
    EXPECT_EQ (knob.getCurrentFrame(), 98);

    ASSERT_EQ (knob.reported.size(), 4u);
    EXPECT_DOUBLE_EQ (knob.reported.back(), 1.0);
}

TEST (FilmStripKnob, ReportsEveryDragStepEvenWithoutChange)
{
    Knob knob;
    knob.setProportion (1.0);
    const juce::Point<float> at { 10.0f, 10.0f };
    knob.mouseDown (GuiTest::mouseEvent (knob, at, at, leftButton));
    for (float dy : { -10.0f, -20.0f, -30.0f })
        knob.mouseDrag (GuiTest::mouseEvent (knob, at.translated (0, dy), at, leftButton));

    EXPECT_EQ (knob.reported, (std::vector<double> { 1.0, 1.0, 1.0 }));
}

TEST (FilmStripKnob, DoubleClickIsReported)
{
    Knob knob;
    int doubleClicks = 0;
    knob.mouseDoubleClick (GuiTest::mouseEvent (knob, { 5, 5 }, { 5, 5 }, leftButton, 2));
    knob.onDoubleClick = [&] { ++doubleClicks; };
    knob.mouseDoubleClick (GuiTest::mouseEvent (knob, { 5, 5 }, { 5, 5 }, leftButton, 2));
    EXPECT_EQ (doubleClicks, 1);
}
