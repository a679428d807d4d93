#include "../widgets/WidgetTestHelpers.h"
#include "ViewTestSupport.h"

using namespace viewtest;
using State = Quellon::QuellonEditorService::State;

namespace
{
using MainViewTest = ViewFixture;

juce::Image paintRouting (MainComponent& view)
{
    return view.getRoutingLayer().createComponentSnapshot ({ 0, 0, 640, 426 }, true, 1.0f);
}

bool isWhite (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y) == juce::Colours::white;
}
} // namespace

TEST_F (MainViewTest, WithoutAUnitShowsNotConnectedAndEveryDefault)
{
    auto& overlay = view->getOverlay();
    EXPECT_TRUE (overlay.isVisible());
    EXPECT_EQ (overlay.getHeadline(), "Not Connected");
    EXPECT_EQ (overlay.getDetail(), "");
    EXPECT_FALSE (overlay.getSpinner().isVisible());
    EXPECT_FALSE (overlay.getProgressBar().isVisible());
    EXPECT_EQ (view->getFooter().getText(), "Editor Version: 1.2.0.1   -   Firmware Version: (unknown)");
    EXPECT_EQ (view->getMenuButton().normalTextColour, juce::Colour (0xffaaaaaa));

    for (int cabinet : { cabinet0, cabinet1, cabinet2 })
        EXPECT_EQ (label (cabinet).getText(), "?");

    EXPECT_EQ (label (choice201).getText(), "DI");
    EXPECT_EQ (label (choice202).getText(), "SOLID STATE");
    EXPECT_EQ (label (choice203).getText(), "TUBE AMP");
    EXPECT_EQ (label (choice208).getText(), "OUT+XLR");
    EXPECT_EQ (label (choice204).getText(), "AMP");
    EXPECT_EQ (label (choice206).getText(), "AMP");
    EXPECT_EQ (editLabel().getText(), "0.0 dB");
    EXPECT_EQ (knob (knob200).getCurrentFrame(), 98);
    EXPECT_EQ (knob (knob207).getCurrentFrame(), 49);

    // Both routing lines leave AMP: one down to y 162, one up to y 80, on to x 570.
    const auto routing = paintRouting (*view);
    EXPECT_TRUE (isWhite (routing, 458, 140));
    EXPECT_TRUE (isWhite (routing, 520, 162));
    EXPECT_TRUE (isWhite (routing, 458, 100));
    EXPECT_TRUE (isWhite (routing, 520, 80));
    EXPECT_FALSE (isWhite (routing, 56, 140));
    EXPECT_FALSE (isWhite (routing, 600, 162));
}

TEST_F (MainViewTest, LaysOutAndStacksEveryWidget)
{
    const juce::Rectangle<int> controls[] = {
        { 137, 375, 144, 28 },
        { 137, 331, 144, 28 },
        { 137, 288, 144, 28 },
        { 299, 375, 315, 28 },
        { 299, 331, 315, 28 },
        { 299, 288, 315, 28 },
        { 133, 172, 73, 78 },
        { 36, 172, 73, 78 },
        { 352, 221, 66, 29 },
        { 297, 181, 121, 29 },
        { 493, 221, 121, 29 },
        { 493, 181, 121, 29 },
    };
    ASSERT_EQ (view->getControlChildren().size(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ (view->getControlChildren()[i]->getBounds(), controls[i]) << i;

    const juce::Rectangle<int> chrome[] = {
        { 0, 0, 640, 426 },
        { 0, 0, 640, 426 },
        { 0, 0, 640, 66 },
        { 20, 404, 597, 16 },
        { 14, 14, 60, 20 },
        { 522, 14, 32, 32 },
        { 558, 14, 32, 32 },
        { 594, 14, 32, 32 },
        { 0, 0, 640, 426 },
    };
    auto& chromeChildren = view->getChromeChildren();
    ASSERT_EQ (chromeChildren.size(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ (chromeChildren[i]->getBounds(), chrome[i]) << i;

    // Bottom to top: background, routing, controls, overlay, drag bar, close,
    // minimise, maximise, MENU, footer.
    std::vector<juce::Component*> expected { chromeChildren[0], chromeChildren[1] };
    for (auto* c : view->getControlChildren())
        expected.push_back (c);
    for (int i : { 8, 2, 7, 6, 5, 4, 3 })
        expected.push_back (chromeChildren[i]);
    EXPECT_EQ (view->getChildren(), juce::Array<juce::Component*> (expected.data(), (int) expected.size()));

    // While the overlay shows, a knob cannot be reached, the window's handles can.
    view->setVisible (true);
    EXPECT_EQ (view->getComponentAt (170, 210), &view->getOverlay());
    EXPECT_EQ (view->getComponentAt (40, 24), &view->getMenuButton());
    EXPECT_EQ (view->getComponentAt (610, 30), chromeChildren[7]);
    EXPECT_EQ (view->getComponentAt (300, 40), chromeChildren[2]);
    EXPECT_EQ (view->getComponentAt (300, 410), &view->getFooter());
}

TEST_F (MainViewTest, WindowButtonsCallWhatTheApplicationSet)
{
    auto& chromeChildren = view->getChromeChildren();
    auto click = [&] (int index)
    {
        auto& button = *dynamic_cast<SimpleImageButton*> (chromeChildren[index]);
        button.mouseDown (GuiTest::mouseEvent (button, { 5, 5 }, { 5, 5 }));
        button.mouseUp (GuiTest::mouseEvent (button, { 5, 5 }, { 5, 5 }));
    };

    // Not set yet: nothing happens; no application: close does nothing either.
    click (5);
    click (6);
    click (7);

    int maximised = 0, minimised = 0;
    view->onMaximise = [&] { ++maximised; };
    view->onMinimise = [&] { ++minimised; };
    click (5);
    click (6);
    click (6);
    EXPECT_EQ (maximised, 1);
    EXPECT_EQ (minimised, 2);
}

TEST_F (MainViewTest, AConnectedUnitFillsTheViewAndHidesTheOverlay)
{
    vunit::UnitSettings settings;
    settings.dsp = { 1, 2, 5, 0 };
    plug (settings);

    EXPECT_FALSE (view->getOverlay().isVisible());
    EXPECT_EQ (view->getFooter().getText(), "Editor Version: 1.2.0.1   -   Firmware Version: 1.2.5");
    EXPECT_EQ (label (cabinet0).getText(), "User Cabinet 1");
    EXPECT_EQ (label (cabinet2).getText(), "User Cabinet 3");

    // The unit's values, read again after a second connection.
    unplug();
    waitForState (State::Disconnected);
    EXPECT_EQ (view->getOverlay().getHeadline(), "Not Connected");
    EXPECT_EQ (view->getFooter().getText(), "Editor Version: 1.2.0.1   -   Firmware Version: (unknown)");

    auto& vu = *unit;
    vu.setGlobal (0x204, bitsOf (0.0f));
    vu.setGlobal (0x205, bitsOf (-3.5f));
    vu.setGlobal (0x206, bitsOf (6.0f));
    vu.setGlobal (0x208, bitsOf (0.0f));
    connect();

    EXPECT_EQ (editLabel().getText(), "-3.5 dB");
    EXPECT_EQ (label (choice204).getText(), "INPUT");
    EXPECT_EQ (label (choice206).getText(), "CAB");
    EXPECT_EQ (label (choice208).getText(), "OUT");

    const auto routing = paintRouting (*view);
    EXPECT_TRUE (isWhite (routing, 56, 140)); // INPUT, down to the lower line
    EXPECT_TRUE (isWhite (routing, 300, 162));
    EXPECT_TRUE (isWhite (routing, 557, 100)); // CAB, up to the upper line
    EXPECT_TRUE (isWhite (routing, 565, 80));
    EXPECT_FALSE (isWhite (routing, 458, 140));
}

TEST_F (MainViewTest, RoutingValuesOutsideTheChainDrawNoLine)
{
    vunit::UnitSettings settings;
    unit = std::make_shared<vunit::VirtualUnit> ("virtual:view", settings);
    unit->setGlobal (0x204, bitsOf (7.0f));
    unit->setGlobal (0x206, bitsOf (std::numeric_limits<float>::quiet_NaN()));
    unit->setGlobal (0x200, bitsOf (std::numeric_limits<float>::quiet_NaN()));
    unit->setGlobal (0x207, bitsOf (1e30f));
    unit->setGlobal (0x201, bitsOf (-1.0f));
    connect();

    const auto routing = paintRouting (*view);
    EXPECT_EQ (WidgetTest::countPixels (routing, [] (juce::Colour c) { return c.getAlpha() != 0; }), 0);
    EXPECT_EQ (label (choice204).getText(), "");
    EXPECT_EQ (label (choice201).getText(), "");
    EXPECT_EQ (knob (knob200).getCurrentFrame(), 0);
    EXPECT_EQ (knob (knob207).getCurrentFrame(), 98);

    // -1 draws no line either, while the other line still shows.
    unit->setGlobal (0x204, bitsOf (-1.0f));
    unit->setGlobal (0x206, bitsOf (4.0f));
    ASSERT_TRUE (service.startRefresh (false).ok);
    waitForState (State::Idle);
    const auto after = paintRouting (*view);
    EXPECT_TRUE (isWhite (after, 371, 100));
    EXPECT_FALSE (isWhite (after, 56, 140));
}

TEST_F (MainViewTest, KnobsSendTheirValueAndResetOnDoubleClick)
{
    plug();
    unit->clearFrames();

    auto& level = knob (knob200);
    WidgetTest::pressAndDrag (level, 300.0f); // far below its bottom
    level.mouseDoubleClick (GuiTest::mouseEvent (level, { 10, 10 }, { 10, 10 }));
    auto& master = knob (knob207);
    WidgetTest::pressAndDrag (master, -20.0f); // 0.5 up by 0.1
    master.mouseDoubleClick (GuiTest::mouseEvent (master, { 10, 10 }, { 10, 10 }));

    ASSERT_TRUE (GuiTest::runUntil ([&] { return setParameterFrames().size() == 4; }, deadlineMs));
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected { { 0x200, bitsOf (0.0f) },
        { 0x200, bitsOf (1.0f) }, { 0x207, bitsOf (0.6f) }, { 0x207, bitsOf (0.5f) } };
    EXPECT_EQ (setParameterFrames(), expected);

    // The values come back and turn the knobs where the unit has them.
    ASSERT_TRUE (GuiTest::runUntil (
        [&] { return master.getCurrentFrame() == 49 && level.getCurrentFrame() == 98; }, deadlineMs));
}

TEST_F (MainViewTest, TheValueLabelTakesDragsAndTypedText)
{
    plug();
    unit->clearFrames();
    auto& levelLabel = editLabel();

    // From 0 dB (2/3 up) 250 pixels up passes the top: 12 dB, never more.
    WidgetTest::pressAndDrag (levelLabel, -250.0f);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return levelLabel.getText() == "12.0 dB"; }, deadlineMs));

    // Text with no number in it sends nothing, and says nothing.
    for (const char* typed : { "-3.27", "-30 dB", "loud", "", "+2" })
    {
        levelLabel.showEditor();
        levelLabel.getCurrentTextEditor()->setText (typed, false);
        levelLabel.hideEditor (false);
    }

    ASSERT_TRUE (GuiTest::runUntil ([&] { return levelLabel.getText() == "2.0 dB"; }, deadlineMs));
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected { { 0x205, bitsOf (12.0f) },
        { 0x205, bitsOf (-3.27f) }, { 0x205, bitsOf (-24.0f) }, { 0x205, bitsOf (2.0f) } };
    EXPECT_EQ (setParameterFrames(), expected);
    EXPECT_TRUE (alertRecorder.alerts.empty());
}

TEST_F (MainViewTest, ARefusedChangeShowsOneAlertAndPutsTheTextBack)
{
    auto& levelLabel = editLabel();
    levelLabel.showEditor();
    levelLabel.getCurrentTextEditor()->setText ("5", false);
    levelLabel.hideEditor (false);

    EXPECT_EQ (levelLabel.getText(), "0.0 dB");
    ASSERT_TRUE (GuiTest::runUntil ([&] { return alertRecorder.alerts.size() == 1; }));
    EXPECT_EQ (alertRecorder.alerts[0].title, "Error");
    EXPECT_EQ (alertRecorder.alerts[0].message, "Failed to set parameter");
    EXPECT_TRUE (LogCapture::instance().contains ("MainComponent.cpp"));
    EXPECT_TRUE (LogCapture::instance().contains ("Failed to set parameter"));
    settle();
    EXPECT_EQ (alertRecorder.alerts.size(), 1u);
}

TEST_F (MainViewTest, AnOldFirmwareAsksForAnUpdateAndLightsTheMenu)
{
    vunit::UnitSettings settings;
    settings.dsp = { 1, 1, 0, 0 };
    plug (settings, State::FirmwareUpdateRequired);

    auto& overlay = view->getOverlay();
    EXPECT_TRUE (overlay.isVisible());
    EXPECT_EQ (overlay.getHeadline(), "Firmware update required");
    EXPECT_EQ (overlay.getDetail(), "Select 'Update Firmware' from the file menu");
    EXPECT_EQ (view->getMenuButton().normalTextColour, juce::Colours::white);
    EXPECT_EQ (view->getMenuButton().pressedTextColour, juce::Colours::white);
    EXPECT_EQ (view->getFooter().getText(), "Editor Version: 1.2.0.1   -   Firmware Version: 1.1.0");
    EXPECT_EQ (label (cabinet0).getText(), "?");

    unplug();
    waitForState (State::Disconnected);
    EXPECT_EQ (view->getMenuButton().normalTextColour, juce::Colour (0xffaaaaaa));
    EXPECT_EQ (view->getMenuButton().pressedTextColour, juce::Colours::white);
}

TEST_F (MainViewTest, AUnitThatFailsTheRefreshShowsTheError)
{
    vunit::UnitSettings settings;
    unit = std::make_shared<vunit::VirtualUnit> ("virtual:view", settings);
    // The unit answers the read of its globals with garbage, then stays silent.
    vunit::VirtualUnit::Fault garbage;
    garbage.kind = vunit::VirtualUnit::Fault::Kind::Malformed;
    garbage.type = Korvalune::READ_REQUEST;
    unit->addFault (garbage);
    connect (State::Error);

    auto& overlay = view->getOverlay();
    EXPECT_TRUE (overlay.isVisible());
    EXPECT_EQ (overlay.getHeadline(), "Error:");
    EXPECT_EQ (overlay.getDetail(), juce::String (service.getLastError()));
    EXPECT_FALSE (overlay.getDetail().isEmpty());
}
