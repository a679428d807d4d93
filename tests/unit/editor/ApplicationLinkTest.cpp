// The application as the user runs it, its device manager on the hidapi shim
// (linked in hidapi's place): what it does when the served unit's link breaks
// while the unit stays on the bus.

#include "MainComponent.h"
#include "Protocol/DeviceMessage.h"
#include "QuellonEditorApplication.h"
#include "Widgets/OverlayComponent.h"
#include "support/GuiTestSupport.h"
#include "support/LogCapture.h"
#include "support/ShimBus.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace shimbus;

namespace
{
constexpr int deadlineMs = 30000;

MainComponent* findView (juce::Component& component)
{
    if (auto* view = dynamic_cast<MainComponent*> (&component))
        return view;

    for (auto* child : component.getChildren())
        if (auto* view = findView (*child))
            return view;

    return nullptr;
}

// The position of the first log line holding `text`, or -1.
int lineOf (const std::string& text)
{
    const auto lines = LogCapture::instance().lines();

    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find (text) != std::string::npos)
            return (int) i;

    return -1;
}

class ApplicationLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vbus ("reset");
        LogCapture::instance().clear();

        // The settings file goes to a home of the test's own.
        if (const char* old = std::getenv ("HOME"))
            oldHome = old;

        home = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("home", "");
        ASSERT_TRUE (home.createDirectory());
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    }

    void TearDown() override
    {
        if (application != nullptr)
            application->shutdown();

        application.reset();
        vbus ("reset");
        setenv ("HOME", oldHome.c_str(), 1);
        home.deleteRecursively();
    }

    void start()
    {
        application = std::make_unique<QuellonEditorApplication>();
        application->initialise ({});

        for (int i = 0; view == nullptr && i < juce::Desktop::getInstance().getNumComponents(); ++i)
            view = findView (*juce::Desktop::getInstance().getComponent (i));

        ASSERT_NE (view, nullptr);
    }

    // Served and idle: the overlay has gone after the `connections`-th connection.
    bool waitUntilServed (int connections)
    {
        return GuiTest::runUntil (
            [&]
            {
                return LogCapture::instance().count ("DEBUG: connect") == connections
                       && LogCapture::instance().count ("DEBUG: Starting refresh") == connections
                       && ! view->getOverlay().isVisible();
            },
            deadlineMs);
    }

    bool waitForLog (const std::string& text)
    {
        return GuiTest::runUntil ([&] { return LogCapture::instance().contains (text); }, deadlineMs);
    }

    // The failure stays on screen over a few polls, and the unit is never
    // opened again behind it.
    void expectErrorKept (const juce::String& error)
    {
        (void) GuiTest::runUntil ([] { return false; }, pollsToWatch * 1000 + 500);
        EXPECT_TRUE (view->getOverlay().isVisible());
        EXPECT_EQ (view->getOverlay().getHeadline(), "Error:");
        EXPECT_EQ (view->getOverlay().getDetail(), error);
        EXPECT_EQ (LogCapture::instance().count ("DEBUG: connect"), 1);
        EXPECT_EQ (LogCapture::instance().count ("letting it go"), 0);
    }

    static constexpr int pollsToWatch = 3;

    juce::File home;
    std::string oldHome;
    std::unique_ptr<QuellonEditorApplication> application;
    MainComponent* view = nullptr;
};
} // namespace

TEST_F (ApplicationLinkTest, AUnitRepluggedDuringABackupFailsItAndComesBack)
{
    vbus ("plug u1");
    start();
    ASSERT_TRUE (waitUntilServed (1));

    const auto target = home.getChildFile ("Backup.bbu");
    view->askFile = [&] (const MainComponent::FileQuestion&) { return target; };
    // Pulled and pushed back between two polls, on the read of the first
    // cabinet: the same path, a dead handle.
    vbus ("fault u1 replug type=0xc5 at=2");
    view->startBackup();

    // The backup ends as it always did on a lost link: with its own failure,
    // or with the link's error when the read thread reports the dead handle
    // before the backup's request gives up...
    ASSERT_TRUE (waitForLog ("ERROR: EdSvc error: "));
    const auto failure = lineOf ("ERROR: EdSvc error: ");
    const auto failureText = LogCapture::instance().lines()[(std::size_t) failure];
    EXPECT_TRUE (failureText.find ("Failed to get cabinet data") != std::string::npos
                 || failureText.find ("A communication error occurred") != std::string::npos)
        << failureText;
    // ...then the unit is let go and opened afresh.
    ASSERT_TRUE (waitUntilServed (2));
    EXPECT_LT (failure, lineOf ("letting it go"));
    EXPECT_LT (lineOf ("letting it go"), lineOf ("DEBUG: disconnect"));
    EXPECT_FALSE (target.exists()) << "a failed backup writes no file";
    EXPECT_NE (vbus ("status u1").find ("open-handles=1\n"), std::string::npos) << "the dead handle was closed";
}

TEST_F (ApplicationLinkTest, AGarbledReportWhileIdleIsShownAndKept)
{
    // The unit answers the 0xCE that ends the refresh with a 1-byte report,
    // when no request waits for anything.
    vbus ("plug u1");
    vbus ("fault u1 short type=0xce");
    start();

    ASSERT_TRUE (waitForLog ("ERROR: EdSvc error: A communication error occurred"));
    expectErrorKept ("A communication error occurred");
    EXPECT_EQ (framesOfType ("u1", Korvalune::MESSAGE_CE), 1);
}

TEST_F (ApplicationLinkTest, ARefusedConnectionCheckKeepsItsError)
{
    // Every connection check refused: reopening would only fail again.
    vbus ("plug u1");
    vbus ("fault u1 nack type=0xb4 times=0");
    start();
    ASSERT_TRUE (waitForLog ("ERROR: EdSvc error: Failed to connect (2)"));
    expectErrorKept ("Failed to connect (2)");
}

TEST_F (ApplicationLinkTest, ARefusedBackupKeepsItsErrorAndWritesNothing)
{
    vbus ("plug u1");
    start();
    ASSERT_TRUE (waitUntilServed (1));

    const auto target = home.getChildFile ("Backup.bbu");
    view->askFile = [&] (const MainComponent::FileQuestion&) { return target; };
    vbus ("fault u1 nack type=0xc5 at=2");
    view->startBackup();
    ASSERT_TRUE (waitForLog ("ERROR: EdSvc error: Failed to get cabinet data"));
    expectErrorKept ("Failed to get cabinet data");
    EXPECT_FALSE (target.exists());
}
