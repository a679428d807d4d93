#pragma once

// Shared pieces of the main view's tests: the program's own skin, an editor
// service with short waits, a virtual unit connected to it as the application
// would connect it, and a recorder of the alerts the view shows.

#include "DeviceConnection.h"
#include "MainComponent.h"
#include "QuellonEditorService.h"
#include "StatusTable.h"
#include "VirtualUnitDevice.h"
#include "Widgets/FilmStripKnob.h"
#include "Widgets/ImagePack.h"
#include "Widgets/OverlayComponent.h"
#include "Widgets/PaintAdapter.h"
#include "Widgets/ProgramResource.h"
#include "Widgets/SimpleEditLabel.h"
#include "Widgets/SimpleImageButton.h"
#include "Widgets/SimpleLabel.h"
#include "Widgets/SimpleTextButton.h"
#include "support/GuiTestSupport.h"
#include "support/LogCapture.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace viewtest
{

inline constexpr int deadlineMs = 20000;

// Records every alert the framework is asked to make, then lets it be made.
struct AlertRecorder : juce::LookAndFeel_V4
{
    struct Alert
    {
        juce::String title, message;
    };

    juce::AlertWindow* createAlertWindow (const juce::String& title, const juce::String& message,
        const juce::String& button1, const juce::String& button2, const juce::String& button3,
        juce::MessageBoxIconType icon, int numButtons, juce::Component* associated) override
    {
        alerts.push_back ({ title, message });
        return LookAndFeel_V4::createAlertWindow (
            title, message, button1, button2, button3, icon, numButtons, associated);
    }

    std::vector<Alert> alerts;
};

inline Quellon::QuellonEditorService::Timing quickTiming()
{
    Quellon::QuellonEditorService::Timing timing;
    timing.settleAfterConnect = std::chrono::milliseconds (0);
    timing.reconnectPoll = std::chrono::milliseconds (20);
    timing.waitForReady = std::chrono::milliseconds (0);
    return timing;
}

inline Korvalune::KorvaluneData::DeviceVersionInfo editorRequirement()
{
    Korvalune::KorvaluneData::DeviceVersionInfo required;
    required.dsp = { 1, 2, 0, 0 };
    return required;
}

inline std::uint32_t bitsOf (float value)
{
    std::uint32_t bits;
    std::memcpy (&bits, &value, sizeof (bits));
    return bits;
}

inline QuellonParamID param (std::uint32_t id)
{
    return (QuellonParamID) id;
}

// The view over a service, and a virtual unit that is plugged in on demand.
struct ViewFixture : ::testing::Test
{
    static void SetUpTestSuite()
    {
        const auto block = lockProgramResource (imagePackResourceId);
        ASSERT_TRUE (ImagePack::create (makeMemoryPackReader (block.data, block.size), (std::uint32_t) block.size));
    }

    void SetUp() override
    {
        juce::LookAndFeel::setDefaultLookAndFeel (&alertRecorder);
        LogCapture::instance().clear();
        view = std::make_unique<MainComponent> (nullptr, &service);
        settle();
    }

    void TearDown() override
    {
        juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
        GuiTest::runPendingMessages();
        view.reset();
        unplug();
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    }

    // Connects a unit as the application does and waits for the refresh to end.
    void plug (vunit::UnitSettings settings = {},
        Quellon::QuellonEditorService::State expected = Quellon::QuellonEditorService::Idle)
    {
        unit = std::make_shared<vunit::VirtualUnit> ("virtual:view", std::move (settings));
        connect (expected);
    }

    // Connects `unit` (again), with a request limit short enough to fail fast.
    void connect (Quellon::QuellonEditorService::State expected = Quellon::QuellonEditorService::Idle)
    {
        device = std::make_unique<vunit::VirtualUnitDevice> (unit);
        connection = std::make_unique<DeviceConnection> (
            device.get(), 20, Korvalune::KorvaluneProtocol::TimeLimits { 1000, 1000 });
        // The application waits three seconds before its first request; with
        // no wait here, the link must be up first.
        auto& protocol = *connection->protocol;
        ASSERT_TRUE (GuiTest::runUntil ([&] { return protocol.getLinkState() == Korvalune::LinkUp; }, deadlineMs));
        (void) service.connect (&protocol);
        waitForState (expected);
    }

    void unplug()
    {
        if (connection == nullptr)
            return;

        service.disconnect();
        connection.reset();
        device.reset();
    }

    // Waits until the service is in `state` and the view shows it.
    void waitForState (Quellon::QuellonEditorService::State state)
    {
        const auto text = statusTextFor ((int) state, {}, true); // the headline is all it looks at
        const auto headline = text.upToFirstOccurrenceOf ("\n", false, false);

        ASSERT_TRUE (GuiTest::runUntil (
            [&]
            {
                return service.getState() == state
                       && (view == nullptr
                           || (view->getOverlay().isVisible() == text.isNotEmpty()
                               && view->getOverlay().getHeadline() == headline));
            },
            deadlineMs));
    }

    // Lets the update passes that are due run.
    void settle() { GuiTest::runPendingMessages(); }

    // The frames of one type that the unit received, as (word, word) pairs.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> setParameterFrames()
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> result;

        for (auto& frame : unit->getFrames())
            if (frame.length == 10 && frame.bytes[0] == 0xC7 && frame.bytes[1] == 8)
                result.emplace_back (Korvalune::KorvaluneData::readWord (frame.bytes.data() + 2),
                    Korvalune::KorvaluneData::readWord (frame.bytes.data() + 6));

        return result;
    }

    template <typename Widget> Widget& control (int index)
    {
        auto* widget = dynamic_cast<Widget*> (view->getControlChildren()[index]);
        EXPECT_NE (widget, nullptr) << "control " << index;
        return *widget;
    }

    // The controls in building order.
    enum ControlIndex
    {
        choice201,
        choice202,
        choice203,
        cabinet0,
        cabinet1,
        cabinet2,
        knob200,
        knob207,
        edit205,
        choice208,
        choice204,
        choice206
    };

    SimpleImageButton& label (int index) { return control<SimpleImageButton> (index); }
    FilmStripKnob& knob (int index) { return control<FilmStripKnob> (index); }
    SimpleEditLabel& editLabel() { return control<SimpleEditLabel> (edit205); }

    AlertRecorder alertRecorder;
    const Korvalune::KorvaluneData::DeviceVersionInfo required = editorRequirement();
    Quellon::QuellonEditorService service { &required, quickTiming() };
    std::shared_ptr<vunit::VirtualUnit> unit;
    std::unique_ptr<vunit::VirtualUnitDevice> device;
    std::unique_ptr<DeviceConnection> connection;
    std::unique_ptr<MainComponent> view;
};

} // namespace viewtest
