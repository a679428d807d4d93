#include "Application/IOUtils.h"
#include "Application/InStreamWrapper.h"
#include "Protocol/KorvaluneDataFile.h"
#include "support/LogCapture.h"
#include "support/MemoryStreams.h"

#include <gtest/gtest.h>

using namespace Korvalune;

namespace
{
// A JUCE stream whose reads fail, as a broken file or pipe would.
class FailingJuceStream : public juce::InputStream
{
public:
    juce::int64 getTotalLength() override { return -1; }
    bool isExhausted() override { return false; }
    int read (void*, int) override { return -1; }
    juce::int64 getPosition() override { return 0; }
    bool setPosition (juce::int64) override { return false; }
};

// A JUCE stream that brings nothing yet never admits its end, as a zip entry
// whose stated size runs past its file does.
class EndlessEmptyJuceStream : public juce::InputStream
{
public:
    juce::int64 getTotalLength() override { return 1000; }
    bool isExhausted() override { return false; }
    int read (void*, int) override { return 0; }
    juce::int64 getPosition() override { return 0; }
    bool setPosition (juce::int64) override { return false; }
};

// An output that fails on a chosen write, counting from 1.
class FailingOut : public IOutputStream
{
public:
    explicit FailingOut (int failOn) : failOn (failOn) {}

    Result write (const void* data, size_t count) override
    {
        if (++writes == failOn)
            return KORVALUNE_ERROR ("write refused");

        written.append (static_cast<const char*> (data), count);
        return okResult;
    }

    int failOn, writes = 0;
    std::string written;
};

std::vector<std::string> readAllLines (const std::string& text)
{
    MemoryIn in (text);
    std::vector<std::string> lines;
    std::string line;

    do
    {
        EXPECT_TRUE (readLine (in, line).ok);
        lines.push_back (line);
    } while (! in.stream().isExhausted());

    return lines;
}
} // namespace

TEST (ReadLine, SplitsOnLineFeedAndDropsCarriageReturns)
{
    EXPECT_EQ (readAllLines ("ab\r\ncd"), (std::vector<std::string> { "ab", "cd" }));
    EXPECT_EQ (readAllLines ("\r\r\n"), (std::vector<std::string> { "" }));
    EXPECT_EQ (readAllLines (""), (std::vector<std::string> { "" }));
    EXPECT_EQ (readAllLines ("x\n"), (std::vector<std::string> { "x" }));
}

TEST (ReadLine, AtTheEndYieldsAnEmptyLineWithSuccess)
{
    MemoryIn in ("last");
    std::string line;
    ASSERT_TRUE (readLine (in, line).ok);
    EXPECT_EQ (line, "last");
    ASSERT_TRUE (readLine (in, line).ok);
    EXPECT_EQ (line, "");
}

TEST (ReadLine, RefusesALineWithoutEnd)
{
    MemoryIn in (std::string (maxReadLineLength + 1, 'z'));
    std::string line;
    auto r = readLine (in, line);
    EXPECT_FALSE (r.ok);
    EXPECT_STREQ (r.message, "Line too long");
    EXPECT_EQ (line.size(), maxReadLineLength);

    MemoryIn fits (std::string (maxReadLineLength, 'z'));
    EXPECT_TRUE (readLine (fits, line).ok);
}

TEST (ReadLine, PassesOnAFailedRead)
{
    FailingJuceStream broken;
    InStreamWrapper in (&broken);
    std::string line = "old";
    int got = 42;

    auto r = in.read (&got, 1, &got);
    EXPECT_STREQ (r.message, "Stream read failed");
    EXPECT_EQ (got, 42) << "the count stays unwritten";
    EXPECT_TRUE (LogCapture::instance().contains ("InStreamWrapper.cpp"));

    EXPECT_STREQ (readLine (in, line).message, "Stream read failed");
}

TEST (WriteLine, CutsAt511CharactersThenEndsTheLine)
{
    MemoryOut out;
    const std::string text (600, 'q');
    ASSERT_TRUE (writeLine (out, "%s", text.c_str()).ok);
    EXPECT_EQ (out.text(), std::string (511, 'q') + "\n");
}

TEST (WriteLine, FormatsAndStopsAtTheFirstFailedWrite)
{
    MemoryOut out;
    ASSERT_TRUE (writeLine (out, "0x%08x", 0x3f800000u).ok);
    EXPECT_EQ (out.text(), "0x3f800000\n");

    FailingOut textFails (1);
    EXPECT_STREQ (writeLine (textFails, "abc").message, "write refused");
    EXPECT_EQ (textFails.writes, 1) << "no line end after a failed text";

    FailingOut endFails (2);
    EXPECT_STREQ (writeLine (endFails, "abc").message, "write refused");
    EXPECT_EQ (endFails.written, "abc");
}

TEST (InStreamWrapper, AReadThatBringsNothingEndsTheStream)
{
    EndlessEmptyJuceStream endless;
    InStreamWrapper in (&endless);
    EXPECT_FALSE (in.isExhausted());

    std::string line = "x";
    ASSERT_TRUE (readLine (in, line).ok);
    EXPECT_EQ (line, "");
    EXPECT_TRUE (in.isExhausted());

    // The data-file reader would otherwise look for its header for ever.
    EndlessEmptyJuceStream again;
    InStreamWrapper fileIn (&again);
    KorvaluneDataFile file;
    EXPECT_STREQ (file.read (fileIn).message, "Reached end of file looking for type");
}
