#include "UpdateCheck.h"

#include "LatestVersionReply.h"
#include "support/GuiTestSupport.h"
#include "support/LocalHttpServer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace
{
// Stands in for the application: counts the alerts it would show.
struct AlertCounter : juce::AsyncUpdater
{
    AlertCounter()
        : check (*this)
    {
    }
    ~AlertCounter() override { cancelPendingUpdate(); }

    void handleAsyncUpdate() override
    {
        ++updates;
        if (check.takeNewVersionAvailable())
            ++alerts;
    }

    UpdateCheck check;
    int updates = 0;
    int alerts = 0;
};

bool waitForLog (const std::string& text)
{
    return GuiTest::runUntil ([&] { return LogCapture::instance().contains (text); }, 20000);
}

struct UpdateCheckTest : ::testing::Test
{
    void SetUp() override { LogCapture::instance().clear(); }

    // Runs one check against a server that answers with `reply`.
    void checkAgainst (const std::string& reply)
    {
        server = std::make_unique<LocalHttpServer> (UpdateCheck::requestPath, reply);
        counter.check.start (server->base());
    }

    std::unique_ptr<LocalHttpServer> server;
    AlertCounter counter;
};
} // namespace

TEST (UpdateCheckReply, ParsesTheLatestVersionWithNumbersOfOneByteEach)
{
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 1.2.0.2"), 0x01020002u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION=1.2.0.1\n"), UpdateCheck::ownVersion);
    EXPECT_EQ (parseLatestVersionReply ("  \n LATEST_VERSION =  3 . 4 .5. 6 trailing"), 0x03040506u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 2.0"), 0x02000000u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 255.255.255.255"), 0xFFFFFFFFu);
    // A number outside a byte, also one that wraps in 32 bits, parses as nothing.
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 1.256.0.0"), 0u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 1.2.0.-1"), 0u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 4294967297.2.0.2"), 0u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = -4294967295.2.0.2"), 0u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = 99999999999999999999.1.1.1"), 0u);
    // Anything before the key, or no key at all, parses as nothing.
    EXPECT_EQ (parseLatestVersionReply ("version: LATEST_VERSION = 9.9.9.9"), 0u);
    EXPECT_EQ (parseLatestVersionReply ("<html>Not found</html>"), 0u);
    EXPECT_EQ (parseLatestVersionReply (""), 0u);
    EXPECT_EQ (parseLatestVersionReply ("LATEST_VERSION = x.2.0.2"), 0u);
}

TEST (UpdateCheckReply, AReplyOfOnlyAByteOrderMarkIsEmpty)
{
    // Exactly the mark's three bytes, so that a read past them is caught.
    const auto mark = std::make_unique<char[]> (3);
    std::memcpy (mark.get(), "\xef\xbb\xbf", 3);
    char text[256] = "x";
    decodeLatestVersionReply (mark.get(), 3, text, (int) sizeof (text));
    EXPECT_STREQ (text, "");
}

TEST_F (UpdateCheckTest, ANewerVersionTriggersOneAlert)
{
    checkAgainst ("LATEST_VERSION = 1.2.0.2\n");

    ASSERT_TRUE (GuiTest::runUntil ([&] { return counter.alerts == 1; }, 20000));
    EXPECT_EQ (server->requests(), std::vector<std::string> { "GET /korvalune/quellon_latest_version.php HTTP/1.1" });

    auto& log = LogCapture::instance();
    EXPECT_TRUE (log.contains ("DEBUG: Checking for update..."));
    EXPECT_TRUE (log.contains ("DEBUG: Update check response: LATEST_VERSION = 1.2.0.2"));
    EXPECT_TRUE (log.contains ("DEBUG: There is a newer application version available!"));
    EXPECT_FALSE (log.contains ("up-to-date"));

    // The flag was taken: a later update finds nothing more to show.
    counter.triggerAsyncUpdate();
    ASSERT_TRUE (GuiTest::runUntil ([&] { return counter.updates == 2; }));
    EXPECT_EQ (counter.alerts, 1);
    EXPECT_FALSE (counter.check.takeNewVersionAvailable());
}

TEST_F (UpdateCheckTest, AReplyWithAByteOrderMarkIsReadAsItsText)
{
    const auto utf16 = [] (bool bigEndian)
    {
        std::string bytes = bigEndian ? "\xfe\xff" : "\xff\xfe";
        for (char c : std::string ("LATEST_VERSION=1.2.0.2"))
            bytes += bigEndian ? std::string { '\0', c } : std::string { c, '\0' };
        return bytes;
    };

    int expectedAlerts = 0;

    for (const auto& reply : { std::string ("\xef\xbb\xbfLATEST_VERSION=1.2.0.2"), utf16 (false), utf16 (true) })
    {
        SCOPED_TRACE ("reply form " + std::to_string (expectedAlerts));
        LogCapture::instance().clear();
        checkAgainst (reply);

        ASSERT_TRUE (GuiTest::runUntil ([&] { return counter.alerts == expectedAlerts + 1; }, 20000));
        ++expectedAlerts;
        const auto lines = LogCapture::instance().lines();
        EXPECT_NE (std::find (lines.begin(), lines.end(), "DEBUG: Update check response: LATEST_VERSION=1.2.0.2"),
            lines.end());
    }
}

TEST_F (UpdateCheckTest, TheReplyIsOneLogLineOfPlainText)
{
    checkAgainst ("LATEST_VERSION = 1.2.0.1\nERROR: EdSvc error: forged\x1b[31m\xc2\x9b"
                  "2J\x7f");

    ASSERT_TRUE (waitForLog ("DEBUG: Application is up-to-date."));
    const auto lines = LogCapture::instance().lines();
    EXPECT_NE (std::find (lines.begin(), lines.end(),
                   "DEBUG: Update check response: LATEST_VERSION = 1.2.0.1\\nERROR: EdSvc error: "
                   "forged\\x1b[31m\\u009b2J\\x7f"),
        lines.end());
}

TEST_F (UpdateCheckTest, AReplyLongerThanItsLogLineIsCutBeforeAnEscape)
{
    // Four bytes an escape: the line's 485 bytes for the reply end inside one.
    checkAgainst (std::string (200, '\x01'));

    ASSERT_TRUE (waitForLog ("DEBUG: Application is up-to-date."));
    std::string expected = "DEBUG: Update check response: ";
    for (int i = 0; i < 121; ++i)
        expected += "\\x01";
    const auto lines = LogCapture::instance().lines();
    EXPECT_NE (std::find (lines.begin(), lines.end(), expected), lines.end());
}

TEST_F (UpdateCheckTest, TheSameOrAnOlderOrGarbledVersionIsUpToDate)
{
    // A byte that is no UTF-8 is read as Windows-1252, as the framework reads text.
    const std::pair<std::string, std::string> replies[] = { { "LATEST_VERSION = 1.2.0.1", "LATEST_VERSION = 1.2.0.1" },
        { "LATEST_VERSION = 1.1.9.9", "LATEST_VERSION = 1.1.9.9" }, { "garbage \x01\xff", "garbage \\x01\u00ff" },
        { "", "" } };

    for (const auto& [reply, logged] : replies)
    {
        SCOPED_TRACE (reply);
        LogCapture::instance().clear();
        checkAgainst (reply);

        ASSERT_TRUE (waitForLog ("DEBUG: Application is up-to-date."));
        EXPECT_TRUE (LogCapture::instance().contains ("DEBUG: Update check response: " + logged));
        GuiTest::runPendingMessages();
        EXPECT_EQ (counter.updates, 0);
        EXPECT_FALSE (LogCapture::instance().contains ("newer application version"));
    }
}

TEST_F (UpdateCheckTest, NoServerIsUpToDateWithAnEmptyResponse)
{
    int port;
    {
        LocalHttpServer gone (UpdateCheck::requestPath, "LATEST_VERSION = 9.0.0.0");
        port = std::stoi (gone.base().substr (gone.base().rfind (':') + 1));
    }

    counter.check.start ("http://127.0.0.1:" + juce::String (port));

    ASSERT_TRUE (waitForLog ("DEBUG: Application is up-to-date."));
    const auto lines = LogCapture::instance().lines();
    EXPECT_NE (std::find (lines.begin(), lines.end(), "DEBUG: Update check response: "), lines.end());
    GuiTest::runPendingMessages();
    EXPECT_EQ (counter.updates, 0);
}

TEST_F (UpdateCheckTest, OnlyTheFirst255BytesOfTheReplyCount)
{
    // The key lies beyond byte 255, so it is cut off and nothing parses.
    const std::string padding (250, ' ');
    checkAgainst (padding + "LATEST_VERSION = 9.9.9.9");

    ASSERT_TRUE (waitForLog ("DEBUG: Application is up-to-date."));
    const auto lines = LogCapture::instance().lines();
    EXPECT_NE (
        std::find (lines.begin(), lines.end(), "DEBUG: Update check response: " + padding + "LATES"), lines.end());
    EXPECT_FALSE (LogCapture::instance().contains ("LATEST"));
}

TEST_F (UpdateCheckTest, AResultAfterClosingNeverReachesTheApplication)
{
    server = std::make_unique<LocalHttpServer> (UpdateCheck::requestPath, "LATEST_VERSION = 2.0.0.0");
    server->hold();

    // The "application" is gone before the server answers.
    auto app = std::make_unique<AlertCounter>();
    app->check.start (server->base());
    ASSERT_TRUE (server->waitForRequests (1));
    app->check.close();
    app.reset();

    server->release();
    ASSERT_TRUE (waitForLog ("DEBUG: There is a newer application version available!"));
    GuiTest::runPendingMessages();
}
