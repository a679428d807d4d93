#include "QuellonEditorApplication.h"
#include "VirtualUnitDevice.h"
#include "support/GuiTestSupport.h"
#include "support/LocalHttpServer.h"
#include "support/LogCapture.h"

#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace
{
// What a modal alert showed, and how often one came up.
struct AlertWatch
{
    juce::String title;
    juce::String linkText;
    juce::String linkTarget;
    juce::StringArray buttons;
    int shown = 0;
};

// Watches for modal alerts while the message loop runs (also inside a modal
// loop) and answers each with its first button.
class AlertAnswerer : private juce::Timer
{
public:
    explicit AlertAnswerer (AlertWatch& w)
        : watch (w)
    {
        startTimer (20);
    }
    ~AlertAnswerer() override { stopTimer(); }

private:
    void timerCallback() override
    {
        auto* alert = dynamic_cast<juce::AlertWindow*> (juce::Component::getCurrentlyModalComponent());
        if (alert == nullptr)
            return;

        ++watch.shown;
        watch.title = alert->getName();
        if (auto* link = dynamic_cast<juce::HyperlinkButton*> (alert->getCustomComponent (0)))
        {
            watch.linkText = link->getButtonText();
            watch.linkTarget = link->getURL().toString (false);
        }
        for (auto* child : alert->getChildren())
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
                watch.buttons.add (button->getButtonText());

        alert->exitModalState (1);
    }

    AlertWatch& watch;
};

struct ApplicationTest : ::testing::Test
{
    void SetUp() override { LogCapture::instance().clear(); }

    bool waitForLog (const std::string& text)
    {
        return GuiTest::runUntil ([&] { return LogCapture::instance().contains (text); }, 20000);
    }

    AlertWatch watch;
    AlertAnswerer answerer { watch };
};
} // namespace

TEST_F (ApplicationTest, ANewerVersionShowsTheUpdateAlertOnce)
{
    LocalHttpServer server (UpdateCheck::requestPath, "LATEST_VERSION = 1.2.0.2");
    QuellonEditorApplication app;
    app.startUpdateCheck (server.base());

    ASSERT_TRUE (GuiTest::runUntil ([&] { return watch.shown == 1; }, 20000));
    EXPECT_EQ (watch.title, "Update");
    EXPECT_TRUE (watch.linkText.endsWith ("/support/"));
    EXPECT_EQ (watch.linkTarget, watch.linkText);
    EXPECT_EQ (watch.buttons, juce::StringArray ("OK"));

    GuiTest::runPendingMessages();
    EXPECT_EQ (watch.shown, 1);
    app.shutdown();
}

TEST_F (ApplicationTest, TheSameVersionGarbageOrNoServerShowNothing)
{
    for (const char* reply :
        std::initializer_list<const char*> { "LATEST_VERSION = 1.2.0.1", "\x7f\x45LF garbage", nullptr })
    {
        LogCapture::instance().clear();
        auto server = std::make_unique<LocalHttpServer> (UpdateCheck::requestPath, reply ? reply : "");
        const auto base = server->base();
        if (reply == nullptr)
            server.reset(); // nothing listens there any more

        QuellonEditorApplication app;
        app.startUpdateCheck (base);
        ASSERT_TRUE (waitForLog ("DEBUG: Application is up-to-date."));
        GuiTest::runPendingMessages();
        app.shutdown();
    }

    EXPECT_EQ (watch.shown, 0);
}

TEST_F (ApplicationTest, ACheckThatEndsAfterShutDownLeavesTheApplicationAlone)
{
    LocalHttpServer server (UpdateCheck::requestPath, "LATEST_VERSION = 3.0.0.0");
    server.hold();

    auto app = std::make_unique<QuellonEditorApplication>();
    app->startUpdateCheck (server.base());
    ASSERT_TRUE (server.waitForRequests (1));
    app->shutdown(); // also safe without a start-up, as in a refused second instance
    app.reset();

    server.release();
    ASSERT_TRUE (waitForLog ("DEBUG: There is a newer application version available!"));
    GuiTest::runPendingMessages();
    EXPECT_EQ (watch.shown, 0);
}

TEST (ApplicationSettings, LiveInTheUsersConfigurationFolder)
{
    const auto options = QuellonEditorApplication::settingsOptions();
    EXPECT_EQ (options.getDefaultFile().getFullPathName(),
        juce::File ("~/.config/Quellon Editor/Quellon Editor.settings").getFullPathName());
    EXPECT_EQ (options.millisecondsBeforeSaving, 3000);
    EXPECT_EQ (options.storageFormat, juce::PropertiesFile::storeAsXML);
}

TEST (ApplicationUnits, TheUdevRuleGrantsExactlyTheServedUnits)
{
    std::ifstream rules (QUELLON_SOURCE_DIR "/packaging/linux/70-quellon-editor.rules");
    ASSERT_TRUE (rules.good());

    const std::regex rule (R"re(SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})", )re"
                           R"re(ATTRS\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess")re");
    std::set<std::pair<int, int>> granted, served;
    std::string line;

    while (std::getline (rules, line))
    {
        std::smatch match;
        if (std::regex_match (line, match, rule))
            granted.emplace (std::stoi (match[1], nullptr, 16), std::stoi (match[2], nullptr, 16));
        else
            EXPECT_TRUE (line.empty() || line[0] == '#') << line;
    }

    for (auto id : QuellonEditorApplication::supportedUnits())
        served.emplace (id.vendorId, id.productId);

    EXPECT_EQ (granted, served);
    EXPECT_EQ (served.size(), 2u);
}

TEST (ApplicationTimeLimits, AreTheProductsOwnAndTheConnectionCheckKeepsItsOwn)
{
    using namespace std::chrono_literals;
    auto unit = std::make_shared<vunit::VirtualUnit> ("virtual:limits");

    {
        vunit::VirtualUnitDevice device (unit);
        DeviceConnection connection (&device);
        EXPECT_EQ (connection.packetIO->getReadTimeoutMs(), 1000);
        EXPECT_EQ (connection.protocol->getTimeLimits().requestMs, 60000u);
        EXPECT_EQ (connection.protocol->getTimeLimits().connectionCheckMs, 3000u);
    }

    const Quellon::QuellonEditorService service (nullptr);
    EXPECT_EQ (service.getTiming().settleAfterConnect, 3000ms);
    EXPECT_EQ (service.getTiming().reconnectPoll, 500ms);
    EXPECT_EQ (service.getTiming().reconnectLimit, 30000ms);
    EXPECT_EQ (service.getTiming().waitForReady, 3000ms);

    // A silent unit: the check gives up after its own limit, not the request's minute.
    vunit::VirtualUnit::Fault silent;
    silent.kind = vunit::VirtualUnit::Fault::Kind::Silent;
    unit->addFault (silent);
    vunit::VirtualUnitDevice device (unit);
    DeviceConnection connection (&device, 20, { 60000, 50 });
    ASSERT_TRUE (GuiTest::runUntil ([&] { return connection.protocol->getLinkState() == Korvalune::LinkUp; }, 20000));

    auto check = std::async (std::launch::async, [&] {
        bool accepted = true;
        return connection.protocol->requestConnection (accepted).ok && ! accepted;
    });
    const bool endedInTime = check.wait_for (20s) == std::future_status::ready;

    if (! endedInTime)
        connection.protocol->handleLinkState (Korvalune::LinkDown); // ends the wait

    EXPECT_TRUE (endedInTime);
    EXPECT_TRUE (check.get());
}
