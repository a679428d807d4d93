#include "Protocol/Log.h"
#include "Protocol/Result.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>

using namespace Korvalune;

namespace
{
std::string lastLine()
{
    auto lines = LogCapture::instance().lines();
    return lines.empty() ? std::string() : lines.back();
}
} // namespace

TEST (Log, LevelPrefixes)
{
    const std::pair<int, const char*> cases[] = {
        { 0, "DEBUG: x" }, { 1, "INFO: x" }, { 2, "WARNING: x" }, { 3, "ERROR: x" },
        { 4, "LOG: x" },   { -1, "LOG: x" },
    };

    for (auto [level, expected] : cases)
    {
        logMessage (level, "%s", "x");
        EXPECT_EQ (lastLine(), expected) << "level " << level;
    }
}

TEST (Log, LongLinesAreCutAt515Characters)
{
    const std::string text (2000, 'a');
    logMessage (LogInfo, "%s", text.c_str());
    EXPECT_EQ (lastLine(), "INFO: " + std::string (515 - 6, 'a'));

    (void) makeErrorResult ("f.cpp", 7, "%s", text.c_str());
    const std::string head = "Error at f.cpp:7: ";
    EXPECT_EQ (lastLine(), head + std::string (515 - head.size(), 'a'));
}

TEST (Log, ALongLineIsCutAtAWholeCharacter)
{
    // Two bytes a character: both limits fall inside one.
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "\xc3\xa9";

    logMessage (LogInfo, "%s", text.c_str());
    EXPECT_EQ (lastLine(), "INFO: " + text.substr (0, 508));

    (void) makeErrorResult ("f.cpp", 7, "%s", text.c_str());
    EXPECT_EQ (lastLine(), "Error at f.cpp:7: " + text.substr (0, 496));
}

TEST (Log, SinkReceivesLinesAndNullRestoresStdout)
{
    std::string seen;
    setLogSink ([] (void* ctx, const char* line) { *static_cast<std::string*> (ctx) = line; }, &seen);
    logMessage (LogWarning, "n=%d", 5);
    LogCapture::instance().install();
    EXPECT_EQ (seen, "WARNING: n=5");

    setLogSink (nullptr, nullptr);
    testing::internal::CaptureStdout();
    logMessage (LogDebug, "to stdout");
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "DEBUG: to stdout\n");
    LogCapture::instance().install();
}

TEST (Result, ErrorCarriesUnformattedLiteralAndLogsTheValues)
{
    const char* format = "hid_write failed with %d";
    auto r = makeErrorResult ("HIDDevice.cpp", 254, format, -1);

    EXPECT_FALSE (r.ok);
    EXPECT_EQ (r.message, format);
    EXPECT_EQ (lastLine(), "Error at HIDDevice.cpp:254: hid_write failed with -1");
}

TEST (Result, MacroLogsOwnFileNameAndLine)
{
    const int line = __LINE__ + 1;
    auto r = KORVALUNE_ERROR ("Buffer too small: %d > %d", 3, 2);

    EXPECT_STREQ (r.message, "Buffer too small: %d > %d");
    EXPECT_EQ (lastLine(), "Error at ResultLogTest.cpp:" + std::to_string (line) + ": Buffer too small: 3 > 2");
}

TEST (Result, SuccessIsTheSharedValue)
{
    Result r = okResult;
    EXPECT_TRUE (r.ok);
    EXPECT_EQ (r.message, nullptr);
}

TEST (Result, FileNameFromPath)
{
    EXPECT_STREQ (fileNameFromPath ("a/b\\c.cpp"), "c.cpp");
    EXPECT_STREQ (fileNameFromPath ("a\\b/c.cpp"), "c.cpp");
    EXPECT_STREQ (fileNameFromPath ("plain.cpp"), "plain.cpp");
    EXPECT_STREQ (fileNameFromPath ("dir/"), "");
    EXPECT_STREQ (fileNameFromPath (""), "");
}
