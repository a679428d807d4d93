#include "Widgets/DragBar.h"
#include "Widgets/PaintAdapter.h"
#include "Widgets/StaticImage.h"
#include "WidgetTestHelpers.h"

#include <gtest/gtest.h>

using namespace WidgetTest;

TEST (DragBar, MovesTheTopLevelComponent)
{
    juce::Component window, view;
    window.setBounds (100, 100, 640, 426);
    view.setBounds (0, 0, 640, 426);
    window.addAndMakeVisible (view);
    DragBar bar;
    bar.setBounds (0, 0, 640, 66);
    view.addAndMakeVisible (bar);

    const juce::Point<float> at { 10.0f, 10.0f };
    bar.mouseDown (GuiTest::mouseEvent (bar, at, at, leftButton));
    bar.mouseDrag (GuiTest::mouseEvent (bar, { 30.0f, 25.0f }, at, leftButton));

    EXPECT_EQ (window.getPosition(), juce::Point<int> (120, 115));
    EXPECT_EQ (view.getPosition(), juce::Point<int> (0, 0));
    EXPECT_EQ (bar.getPosition(), juce::Point<int> (0, 0));
}

TEST (StaticImage, StretchesItsImageOverItsBounds)
{
    // The background case: 640 x 427 squeezed into 640 x 426.
    juce::Image image (juce::Image::ARGB, 640, 427, true);
    image.clear ({ 0, 0, 640, 426 }, juce::Colours::red);
    image.clear ({ 0, 426, 640, 1 }, juce::Colour (0xff00ff00));

    StaticImage background (image);
    background.setBounds (0, 0, 640, 426);
    const auto shot = snapshot (background);

    EXPECT_EQ (countPixels (shot, isTransparent), 0);
    EXPECT_GT (shot.getPixelAt (320, 425).getGreen(), 100) << "the last row reaches the bottom";

    StaticImage none { juce::Image() };
    none.setBounds (0, 0, 30, 20);
    EXPECT_EQ (countPixels (snapshot (none), isTransparent), 600);
}

TEST (PaintAdapter, DrawsWhatItsClosureDraws)
{
    int calls = 0;
    PaintAdapter adapter ([&] (juce::Graphics& g)
                          {
                              ++calls;
                              g.setColour (juce::Colours::white);
                              g.fillRect (2, 3, 4, 5);
                          });
    adapter.setBounds (0, 0, 10, 10);
    const auto shot = snapshot (adapter);

    EXPECT_EQ (calls, 1);
    EXPECT_EQ (countPixels (shot, [] (juce::Colour c) { return c == juce::Colours::white; }), 20);

    PaintAdapter empty { nullptr };
    empty.setBounds (0, 0, 10, 10);
    EXPECT_EQ (countPixels (snapshot (empty), isTransparent), 100);
}
