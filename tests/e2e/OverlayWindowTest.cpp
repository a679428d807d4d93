#include "Widgets/OverlayComponent.h"
#include "Widgets/SimpleEditLabel.h"
#include "Widgets/ZoomWindow.h"
#include "support/GuiTestSupport.h"

#include <gtest/gtest.h>

// The overlay on screen: the focus it takes and the spinner's timer, which
// only run for a component that is showing.
namespace
{
struct View : juce::Component
{
    View()
    {
        setSize (640, 426);
        label.setBounds (352, 221, 66, 29);
        addAndMakeVisible (label);
        overlay.setBounds (0, 0, 640, 426);
        addChildComponent (overlay);
    }

    SimpleEditLabel label;
    OverlayComponent overlay;
};

struct Screen
{
    Screen()
    {
        view = new View();
        window = std::make_unique<ZoomWindow> ("Quellon Editor", nullptr, view, juce::Colours::black, 640, 426, 320,
                                               213);
        window->setVisible (true);
        window->toFront (true);
        GuiTest::runPendingMessages();
    }

    View* view;
    std::unique_ptr<ZoomWindow> window;
};
} // namespace

TEST (OverlayOnScreen, ShowingItEndsAnOpenEditWithoutTakingTheText)
{
    Screen screen;
    auto& label = screen.view->label;
    label.setText ("0.0 dB");
    int entered = 0;
    label.onTextEntered = [&] (const juce::String&) { return ++entered > 0; };

    label.showEditor();
    ASSERT_NE (label.getCurrentTextEditor(), nullptr);
    label.getCurrentTextEditor()->setText ("-7", false);

    auto& overlay = screen.view->overlay;
    overlay.setOverlayVisible (true);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return overlay.hasKeyboardFocus (false); }));

    EXPECT_EQ (label.getCurrentTextEditor(), nullptr);
    EXPECT_EQ (label.getText(), "0.0 dB");
    EXPECT_EQ (entered, 0);
}

TEST (OverlayOnScreen, ADialogOpenOverItKeepsTheKeyboard)
{
    Screen screen;

    // A modal dialog with a text box, as a file dialog has, typed into.
    juce::TextEditor box;
    box.setSize (300, 24);
    juce::DialogWindow dialog ("Dialog", juce::Colours::darkgrey, true, true);
    dialog.setContentNonOwned (&box, true);
    dialog.centreWithSize (300, 60);
    dialog.enterModalState (true);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return dialog.isActiveWindow(); }));
    GuiTest::runPendingMessages();
    box.grabKeyboardFocus();
    ASSERT_TRUE (GuiTest::runUntil ([&] { return box.hasKeyboardFocus (false); }));

    // The unit's state changes meanwhile, showing the overlay.
    auto& overlay = screen.view->overlay;
    overlay.setOverlayVisible (true);
    overlay.repaint();
    GuiTest::runUntil ([] { return false; }, 300);
    EXPECT_FALSE (overlay.hasKeyboardFocus (false));
    EXPECT_TRUE (dialog.hasKeyboardFocus (true)) << "the keyboard stays with the dialog";

    // Once the dialog has gone, the next paint takes the focus after all.
    dialog.exitModalState (0);
    dialog.setVisible (false);
    overlay.repaint();
    ASSERT_TRUE (GuiTest::runUntil ([&] { return overlay.hasKeyboardFocus (false); }));
}

TEST (OverlayOnScreen, TheSpinnerTurnsOnlyWhileShowingAndGoesOnFromWhereItStopped)
{
    Screen screen;
    auto& overlay = screen.view->overlay;
    auto& spinner = overlay.getSpinner();
    EXPECT_FALSE (spinner.isTurning()) << "hidden: the timer has not started";

    overlay.setOverlayVisible (true);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return spinner.isTurning(); })) << "the first paint starts it";
    ASSERT_TRUE (GuiTest::runUntil ([&] { return spinner.getPosition() >= 2; }));

    overlay.setOverlayVisible (false);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return ! spinner.isTurning(); })) << "the next tick stops it";
    const int stoppedAt = spinner.getPosition();
    GuiTest::runUntil ([] { return false; }, 300);
    EXPECT_EQ (spinner.getPosition(), stoppedAt);

    overlay.setOverlayVisible (true);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return spinner.isTurning(); }));
    EXPECT_LE (spinner.getPosition() - stoppedAt, 1);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return spinner.getPosition() == (stoppedAt + 2) % 12; }));

    overlay.setSpinnerVisible (false);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return ! spinner.isTurning(); })) << "hiding the spinner alone stops it";
}

TEST (OverlayOnScreen, EachTickMovesTheBrightestSegmentOnePlaceClockwise)
{
    Screen screen;
    auto& overlay = screen.view->overlay;
    auto& spinner = overlay.getSpinner();
    overlay.setOverlayVisible (true);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return spinner.getPosition() == 1; }));

    // Between two dispatched messages the position cannot change.
    const auto shot = spinner.createComponentSnapshot (spinner.getLocalBounds(), true, 1.0f);
    auto brightnessAt = [&] (double degreesClockwise)
    {
        const auto a = juce::degreesToRadians (degreesClockwise);
        return shot.getPixelAt (24 + juce::roundToInt (16.8 * std::sin (a)), 24 - juce::roundToInt (16.8 * std::cos (a)))
            .getBrightness();
    };

    EXPECT_GT (brightnessAt (30), brightnessAt (0)) << "brightest at 1 o'clock after one tick";
    EXPECT_GT (brightnessAt (0), brightnessAt (60)) << "faintest now at 2 o'clock";
}
