#include "Widgets/DragBar.h"
#include "Widgets/FilmStripKnob.h"
#include "Widgets/ImagePack.h"
#include "Widgets/OverlayComponent.h"
#include "Widgets/PaintAdapter.h"
#include "Widgets/ProgramResource.h"
#include "Widgets/SimpleEditLabel.h"
#include "Widgets/SimpleImageButton.h"
#include "Widgets/SimpleLabel.h"
#include "Widgets/SimpleTextButton.h"
#include "Widgets/StaticImage.h"
#include "Widgets/ZoomWindow.h"
#include "support/GuiTestSupport.h"

#include <gtest/gtest.h>

// The skin as the user sees it: the window, scaled, with the background, the
// routing lines, knobs at a few positions, every label filled in, and the
// status overlay. Saves screenshots for a person to look at (tests/README.md)
// and checks a few pixels that must hold whatever the look.
namespace
{
const juce::Colour labelColour { 0xffeeeeee };

struct SkinPreview : juce::Component
{
    SkinPreview()
    {
        setSize (640, 426);
        add (std::make_unique<StaticImage> (ImagePack::getImage (ImagePack::background)), { 0, 0, 640, 426 });
        add (std::make_unique<PaintAdapter> ([] (juce::Graphics& g) { paintRouting (g); }), { 0, 0, 640, 426 });
        add (std::make_unique<DragBar>(), { 0, 0, 640, 66 });

        for (auto [bounds, text] : { std::pair { juce::Rectangle<int> (137, 375, 144, 28), "DI" },
                                     { { 137, 331, 144, 28 }, "SOLID STATE" },
                                     { { 137, 288, 144, 28 }, "TUBE AMP" },
                                     { { 299, 375, 315, 28 }, "BYPASS" },
                                     { { 299, 331, 315, 28 }, "4x10 Vintage Closed Back" },
                                     { { 299, 288, 315, 28 }, "1x15 Ported" },
                                     { { 297, 181, 121, 29 }, "OUT+XLR" },
                                     { { 493, 221, 121, 29 }, "AMP" },
                                     { { 493, 181, 121, 29 }, "CAB" } })
            addTextLabel (bounds, text);

        addKnob ({ 133, 172, 73, 78 }, 0.8);
        addKnob ({ 36, 172, 73, 78 }, 0.25);

        auto level = std::make_unique<SimpleEditLabel>();
        level->setTextColour (labelColour);
        level->setFont (juce::Font (14.0f));
        level->setText ("-3.5 dB");
        add (std::move (level), { 352, 221, 66, 29 });

        overlay = add (std::make_unique<OverlayComponent>(), { 0, 0, 640, 426 });
        overlay->headlineHeight = 26.0f;
        overlay->detailHeight = 20.0f;

        add (std::make_unique<SimpleImageButton> (ImagePack::getImage (ImagePack::closeOff),
                                                  ImagePack::getImage (ImagePack::closeOn)),
             { 594, 14, 32, 32 });
        add (std::make_unique<SimpleImageButton> (ImagePack::getImage (ImagePack::minimizeOff),
                                                  ImagePack::getImage (ImagePack::minimizeOn)),
             { 558, 14, 32, 32 });
        maximise = add (std::make_unique<SimpleImageButton> (ImagePack::getImage (ImagePack::maximizeOff),
                                                             ImagePack::getImage (ImagePack::maximizeOn)),
                        { 522, 14, 32, 32 });

        auto menu = std::make_unique<SimpleTextButton>();
        menu->setText ("MENU");
        menu->normalTextColour = juce::Colour (0xffaaaaaa);
        menu->pressedTextColour = juce::Colours::white;
        menu->setFont (juce::Font (28.0f));
        add (std::move (menu), { 14, 14, 60, 20 });

        auto footer = std::make_unique<SimpleLabel>();
        footer->normalTextColour = footer->pressedTextColour = juce::Colour (0xffcccccc);
        footer->setFont (juce::Font (10.0f));
        footer->setText ("Editor Version: 1.2.0.1   -   Firmware Version: 1.2.0");
        add (std::move (footer), { 20, 404, 597, 16 });
    }

    template <typename Widget>
    Widget* add (std::unique_ptr<Widget> widget, juce::Rectangle<int> bounds)
    {
        auto* raw = widget.get();
        raw->setBounds (bounds);
        addAndMakeVisible (raw);
        children.emplace_back (std::move (widget));
        return raw;
    }

    void addTextLabel (juce::Rectangle<int> bounds, const char* text)
    {
        auto label = std::make_unique<SimpleImageButton>();
        label->normalTextColour = label->pressedTextColour = labelColour;
        label->setFont (juce::Font (14.0f));
        label->setText (text);
        add (std::move (label), bounds);
    }

    void addKnob (juce::Rectangle<int> bounds, double proportion)
    {
        auto knob = std::make_unique<FilmStripKnob>();
        knob->setFilmStrip (ImagePack::getImage (ImagePack::fxDialFilm), 1, 99, -1);
        knob->setProportion (proportion);
        add (std::move (knob), bounds);
    }

    // One routing line in each row: DI taken after AMP (below the chain), OUT
    // after CAB (above it).
    static void paintRouting (juce::Graphics& g)
    {
        juce::Path path;
        path.startNewSubPath (458.0f, 121.0f);
        path.lineTo (458.0f, 162.0f);
        path.lineTo (570.0f, 162.0f);
        path.startNewSubPath (557.0f, 122.0f);
        path.lineTo (557.0f, 80.0f);
        path.lineTo (570.0f, 80.0f);
        g.setColour (juce::Colours::white);
        g.strokePath (path, juce::PathStrokeType (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
    }

    std::vector<std::unique_ptr<juce::Component>> children;
    OverlayComponent* overlay = nullptr;
    SimpleImageButton* maximise = nullptr;
};

juce::File screenshotFolder()
{
    const auto env = juce::SystemStats::getEnvironmentVariable ("QUELLON_SCREENSHOT_DIR", {});
    auto folder = env.isNotEmpty() ? juce::File (env)
                                   : juce::File::getCurrentWorkingDirectory().getChildFile ("screenshots");
    (void) folder.createDirectory();
    return folder;
}

juce::Image screenshot (juce::Component& window, const char* name)
{
    GuiTest::runUntil ([] { return false; }, 250);   // let the knob frames and the spinner settle on screen
    auto image = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);
    juce::FileOutputStream out (screenshotFolder().getChildFile (name));
    (void) out.setPosition (0);
    (void) out.truncate();
    juce::PNGImageFormat().writeImageToStream (image, out);
    return image;
}

class VisualCheck : public testing::Test
{
protected:
    void SetUp() override
    {
        const auto pack = lockProgramResource (imagePackResourceId);
        ASSERT_TRUE (ImagePack::create (makeMemoryPackReader (pack.data, pack.size), (std::uint32_t) pack.size));
        preview = new SkinPreview();
        window = std::make_unique<ZoomWindow> ("Quellon Editor", nullptr, preview, juce::Colours::black, 640, 426,
                                               320, 213);
        window->setBounds (100, 60, 960, 639);
        window->setVisible (true);
    }

    void TearDown() override
    {
        window.reset();
        ImagePack::clearCache();
    }

    SkinPreview* preview = nullptr;
    std::unique_ptr<ZoomWindow> window;
};
} // namespace

TEST_F (VisualCheck, TheWindowShowsTheSkinScaled)
{
    preview->overlay->setOverlayVisible (false);
    const auto shot = screenshot (*window, "window.png");
    ASSERT_EQ (shot.getWidth(), 960);

    // The background fills the window; scaled by 1.5 its pixel (300, 5) of the
    // title strip lands at (450, 7).
    const auto background = ImagePack::getImage (ImagePack::background);
    const auto expected = background.getPixelAt (300, 5), seen = shot.getPixelAt (450, 7);
    EXPECT_NEAR (seen.getBrightness(), expected.getBrightness(), 0.05f);

    // The routing line up from CAB is white, and scaled.
    EXPECT_GT (shot.getPixelAt (juce::roundToInt (557 * 1.5), juce::roundToInt (100 * 1.5)).getBrightness(), 0.9f);
}

TEST_F (VisualCheck, TheOverlayDimsTheViewAndShowsItsStatus)
{
    preview->overlay->setOverlayVisible (false);
    const auto plain = screenshot (*window, "window.png");

    preview->overlay->setStatusText ("Updating FW...", false);
    preview->overlay->setSpinnerVisible (true);
    preview->overlay->setProgress (0.4);
    preview->overlay->setOverlayVisible (true);
    const auto busy = screenshot (*window, "overlay-busy.png");

    preview->overlay->setStatusText ("Update Complete\nPlease disconnect/reconnect power supply", false);
    preview->overlay->setSpinnerVisible (false);
    preview->overlay->setProgress (-1.0);
    screenshot (*window, "overlay-message.png");

    // The knob area is dimmed; the window buttons stay as they were.
    const juce::Point<int> knob (juce::roundToInt (170 * 1.5), juce::roundToInt (200 * 1.5));
    EXPECT_LT (busy.getPixelAt (knob.x, knob.y).getBrightness(), plain.getPixelAt (knob.x, knob.y).getBrightness());
}

TEST_F (VisualCheck, AMaximisedWindowScalesTheViewToTheDisplay)
{
    window->toggleMaximised();
    preview->overlay->setOverlayVisible (false);
    const auto shot = screenshot (*window, "maximised.png");
    EXPECT_EQ (shot.getWidth(), 1562);
    EXPECT_EQ (shot.getHeight(), 1040);
}
