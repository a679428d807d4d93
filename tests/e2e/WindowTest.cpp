#include "Widgets/ZoomWindow.h"
#include "support/GuiTestSupport.h"

#include <gtest/gtest.h>

// Runs on a virtual X display of 1920 x 1040 without a window manager, so the
// main display's user area is the whole screen.
namespace
{
constexpr int screenWidth = 1920, screenHeight = 1040;

struct Settings
{
    Settings()
    {
        juce::PropertiesFile::Options options;
        options.applicationName = "ZoomWindowTest";
        options.millisecondsBeforeSaving = -1;
        file = std::make_unique<juce::PropertiesFile> (folder.getFile(), options);
    }

    int get (const char* key) const { return file->getIntValue (key, 123456); }

    void storeBounds (juce::Rectangle<int> r)
    {
        file->setValue ("windowX", r.getX());
        file->setValue ("windowY", r.getY());
        file->setValue ("windowWidth", r.getWidth());
        file->setValue ("windowHeight", r.getHeight());
    }

    juce::TemporaryFile folder { ".settings" };
    std::unique_ptr<juce::PropertiesFile> file;
};

std::unique_ptr<ZoomWindow> openWindow (juce::PropertiesFile* settings)
{
    auto* view = new juce::Component();
    view->setSize (640, 426);
    auto window = std::make_unique<ZoomWindow> ("Quellon Editor", settings, view, juce::Colours::black, 640, 426,
                                                320, 213);
    window->setVisible (true);
    GuiTest::runPendingMessages();
    return window;
}

void expectDesignAspect (juce::Rectangle<int> r)
{
    EXPECT_NEAR ((double) r.getWidth() / r.getHeight(), 640.0 / 426.0, 0.005) << r.toString();
}

void expectOnScreen (juce::Rectangle<int> r)
{
    EXPECT_TRUE (juce::Rectangle<int> (0, 0, screenWidth, screenHeight).contains (r)) << r.toString();
}
} // namespace

TEST (ZoomWindow, TheScreenIsTheOneTheTestsAssume)
{
    auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    ASSERT_NE (display, nullptr);
    EXPECT_EQ (display->userArea, juce::Rectangle<int> (0, 0, screenWidth, screenHeight));
}

TEST (ZoomWindow, FirstStartIsCentredAtTheDesignSize)
{
    Settings settings;
    auto window = openWindow (settings.file.get());

    EXPECT_EQ (window->getBounds(), juce::Rectangle<int> (640, 307, 640, 426));
    EXPECT_FALSE (window->isMaximised());
    EXPECT_FALSE (window->isUsingNativeTitleBar());
    EXPECT_TRUE (window->isResizable());

    auto* zoom = window->getContentComponent();
    ASSERT_NE (zoom, nullptr);
    EXPECT_EQ (zoom->getBounds(), juce::Rectangle<int> (0, 0, 640, 426)) << "no frame around the content";
}

TEST (ZoomWindow, WithoutSettingsItIsCentredAndStoresNothing)
{
    auto window = openWindow (nullptr);
    EXPECT_EQ (window->getBounds(), juce::Rectangle<int> (640, 307, 640, 426));
    window.reset();
}

TEST (ZoomWindow, WithoutAStoredPositionTheStoredSizeIsCentred)
{
    Settings settings;
    settings.storeBounds ({ -100, 40, 800, 532 });
    auto window = openWindow (settings.file.get());

    EXPECT_EQ (window->getBounds(), juce::Rectangle<int> (560, 254, 800, 532));
}

TEST (ZoomWindow, AStoredSizeIsBroughtWithinTheLimitsAndTheAspect)
{
    Settings settings;
    settings.storeBounds ({ 100, 50, 2000, 1000 });
    auto window = openWindow (settings.file.get());

    const auto b = window->getBounds();
    EXPECT_LE (b.getWidth(), 1280);
    EXPECT_LE (b.getHeight(), 852);
    EXPECT_GE (b.getWidth(), 1270);
    expectDesignAspect (b);
    EXPECT_EQ (b.getPosition(), juce::Point<int> (100, 50));
}

TEST (ZoomWindow, AbsurdStoredGeometryGivesAWindowOnScreenWithinItsLimits)
{
    const juce::Rectangle<int> absurd[] = { { 100000, -50000, 99999, 3 },
                                            { -100, -100, 99999, 3 },
                                            { -100, 7, -500, -500 },
                                            { 3000, 2000, 640, 426 },
                                            { -2000000000, 2000000000, 0, 0 } };

    for (const auto& stored : absurd)
    {
        SCOPED_TRACE (stored.toString());
        Settings settings;
        settings.storeBounds (stored);
        auto window = openWindow (settings.file.get());

        const auto b = window->getBounds();
        expectOnScreen (b);
        EXPECT_GE (b.getWidth(), 320);
        EXPECT_LE (b.getWidth(), 1280);
        EXPECT_GE (b.getHeight(), 213);
        EXPECT_LE (b.getHeight(), 852);
    }
}

TEST (ZoomWindow, AbsurdBoundsBeforeAMaximiseStillRestoreToAUsableWindow)
{
    Settings settings;
    settings.file->setValue ("isMaximized", 1);
    settings.file->setValue ("boundsBeforeMaximize_x", -2000000000);
    settings.file->setValue ("boundsBeforeMaximize_y", 2000000000);
    settings.file->setValue ("boundsBeforeMaximize_w", 2000000000);
    settings.file->setValue ("boundsBeforeMaximize_h", 1);
    auto window = openWindow (settings.file.get());
    ASSERT_TRUE (window->isMaximised());

    window->toggleMaximised();
    const auto b = window->getBounds();
    expectOnScreen (b);
    EXPECT_LE (b.getWidth(), 1280);
    EXPECT_GE (b.getHeight(), 213);
}

TEST (ZoomWindow, MaximisesToTheDisplayAndRestoresTheExactBounds)
{
    Settings settings;
    settings.storeBounds ({ 600, 300, 640, 426 });
    auto window = openWindow (settings.file.get());
    const auto before = window->getBounds();
    ASSERT_EQ (before, juce::Rectangle<int> (600, 300, 640, 426));

    window->toggleMaximised();
    GuiTest::runPendingMessages();
    EXPECT_TRUE (window->isMaximised());
    EXPECT_EQ (window->getBounds(), juce::Rectangle<int> (358, 0, 1562, 1040));
    EXPECT_EQ (window->getBoundsBeforeMaximise(), before);
    EXPECT_EQ (window->getContentComponent()->getWidth(), 1562) << "beyond the resize limits";

    window->toggleMaximised();
    GuiTest::runPendingMessages();
    EXPECT_FALSE (window->isMaximised());
    EXPECT_EQ (window->getBounds(), before);
}

TEST (ZoomWindow, AResizeByTheUserEndsTheMaximisedState)
{
    Settings settings;
    auto window = openWindow (settings.file.get());
    window->toggleMaximised();
    ASSERT_TRUE (window->isMaximised());

    window->setBoundsConstrained ({ 10, 20, 1000, 666 });   // what the corner resizer does
    GuiTest::runPendingMessages();
    EXPECT_FALSE (window->isMaximised());

    const auto resizedBounds = window->getBounds();
    window->toggleMaximised();
    EXPECT_TRUE (window->isMaximised());
    EXPECT_EQ (window->getBoundsBeforeMaximise(), resizedBounds);
}

TEST (ZoomWindow, TheSmallestWindowIs320By213)
{
    Settings settings;
    auto window = openWindow (settings.file.get());
    window->setBoundsConstrained ({ 100, 100, 50, 30 });
    EXPECT_EQ (window->getBounds().getWidth(), 320);
    EXPECT_EQ (window->getBounds().getHeight(), 213);
}

TEST (ZoomWindow, StoresItsGeometryWhenDestroyed)
{
    Settings settings;
    auto window = openWindow (settings.file.get());
    window->setBounds (200, 150, 960, 639);
    window->toggleMaximised();
    window.reset();

    EXPECT_EQ (settings.get ("windowX"), 200) << "1562 wide from x 200 still fits";
    EXPECT_EQ (settings.get ("windowY"), 0);
    EXPECT_EQ (settings.get ("windowWidth"), 1562);
    EXPECT_EQ (settings.get ("windowHeight"), 1040);
    EXPECT_EQ (settings.get ("isMaximized"), 1);
    EXPECT_EQ (settings.get ("boundsBeforeMaximize_x"), 200);
    EXPECT_EQ (settings.get ("boundsBeforeMaximize_y"), 150);
    EXPECT_EQ (settings.get ("boundsBeforeMaximize_w"), 960);
    EXPECT_EQ (settings.get ("boundsBeforeMaximize_h"), 639);
}

TEST (ZoomWindow, AWindowClosedMaximisedComesBackMaximisedAndRestoresTheEarlierBounds)
{
    Settings settings;
    {
        auto window = openWindow (settings.file.get());
        window->setBounds (200, 150, 960, 639);
        window->toggleMaximised();
    }

    auto window = openWindow (settings.file.get());
    EXPECT_TRUE (window->isMaximised());
    const auto b = window->getBounds();
    EXPECT_LE (b.getWidth(), 1280) << "the stored bounds come back within the resize limits";
    EXPECT_LE (b.getHeight(), 852);
    expectOnScreen (b);

    window->toggleMaximised();
    EXPECT_FALSE (window->isMaximised());
    EXPECT_EQ (window->getBounds(), juce::Rectangle<int> (200, 150, 960, 639));
}

TEST (ZoomWindow, DestroyingItDeletesTheMainView)
{
    struct View : juce::Component
    {
        explicit View (bool& flag) : deleted (flag) { setSize (640, 426); }
        ~View() override { deleted = true; }
        bool& deleted;
    };

    bool deleted = false;
    auto window = std::make_unique<ZoomWindow> ("Quellon Editor", nullptr, new View (deleted), juce::Colours::black,
                                                640, 426, 320, 213);
    window.reset();
    EXPECT_TRUE (deleted);
}

TEST (ZoomWindow, TheSystemsCloseRequestReachesItsOwner)
{
    auto window = openWindow (nullptr);
    auto* peer = window->getPeer();
    ASSERT_NE (peer, nullptr);

    peer->handleUserClosingWindow();    // with no one listening nothing happens
    int requests = 0;
    window->onCloseRequest = [&requests] { ++requests; };
    peer->handleUserClosingWindow();
    EXPECT_EQ (requests, 1);
    EXPECT_TRUE (window->isVisible()) << "closing is the owner's decision";
}
