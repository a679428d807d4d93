#include "Widgets/ContentZoom.h"
#include "WidgetTestHelpers.h"

#include <gtest/gtest.h>

TEST (ContentZoom, ScalesTheContentToItsWidthAndLeavesItsBounds)
{
    juce::Component view;
    view.setBounds (0, 0, 640, 426);
    ContentZoom zoom (&view);
    EXPECT_EQ (zoom.getBounds(), juce::Rectangle<int> (0, 0, 640, 426));
    EXPECT_EQ (view.getParentComponent(), &zoom);
    EXPECT_TRUE (view.isVisible());

    for (auto [width, scale] : { std::pair { 1280, 2.0f }, { 960, 1.5f }, { 320, 0.5f } })
    {
        zoom.setSize (width, 100);   // the height does not enter the factor
        EXPECT_EQ (view.getTransform(), juce::AffineTransform::scale (scale)) << width;
        EXPECT_EQ (view.getBounds(), juce::Rectangle<int> (0, 0, 640, 426));
    }

    zoom.setSize (1280, 852);
    EXPECT_EQ (view.getLocalPoint (&zoom, juce::Point<int> (640, 426)), juce::Point<int> (320, 213))
        << "the view sees the mouse in design coordinates";
}

TEST (ContentZoom, DrawsTheContentScaled)
{
    struct Red : juce::Component
    {
        void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::red); }
    } view;
    view.setBounds (0, 0, 64, 42);

    ContentZoom zoom (&view);
    zoom.setSize (128, 100);
    const auto shot = WidgetTest::snapshot (zoom);
    EXPECT_EQ (shot.getPixelAt (127, 83), juce::Colours::red);
    EXPECT_TRUE (WidgetTest::isTransparent (shot.getPixelAt (64, 85)));
}

TEST (ContentZoom, AnEmptyContentIsScaledAsOnePixelWide)
{
    juce::Component view;
    ContentZoom zoom (&view);
    zoom.setSize (3, 3);
    EXPECT_EQ (view.getTransform(), juce::AffineTransform::scale (3.0f));
}
