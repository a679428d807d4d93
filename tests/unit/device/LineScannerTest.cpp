#include "Protocol/LineScanner.h"

#include <gtest/gtest.h>

using Korvalune::LineScanner;

TEST (LineScanner, BlanksMatchAnyRunOfWhiteSpaceIncludingNone)
{
    const char* pattern = " # File Type : %[^,], Index = %d";

    LineScanner spaced ("  #  File   Type :  User Cabinet data, Index = 2", pattern);
    EXPECT_EQ (spaced.converted(), 2);
    EXPECT_EQ (spaced.text(), "User Cabinet data");
    EXPECT_EQ (spaced.number (0), 2u);

    LineScanner tight ("#FileType:Globals data", pattern);
    EXPECT_EQ (tight.converted(), 1);
    EXPECT_EQ (tight.text(), "Globals data");
}

TEST (LineScanner, CountsFieldsConvertedBeforeAMismatch)
{
    EXPECT_EQ (LineScanner ("# Data Segment 3 End - x", " # Data Segment %d Start").converted(), 1)
        << "a literal after the last field does not reduce the count";
    EXPECT_EQ (LineScanner ("# Data Segment x Start", " # Data Segment %d Start").converted(), 0);
    EXPECT_EQ (LineScanner ("Data Segment 0: 8192 bytes", " # Data Segment %d Start").converted(), 0);
    EXPECT_EQ (LineScanner ("", " 0x%x").converted(), 0);
    EXPECT_EQ (LineScanner ("# File Type: , Index = 1", " # File Type : %[^,]").converted(), 0)
        << "the text field needs one character";
}

TEST (LineScanner, Numbers)
{
    LineScanner word ("  0x3F800000 trailing", " 0x%x");
    ASSERT_EQ (word.converted(), 1);
    EXPECT_EQ (word.number (0), 0x3F800000u);

    EXPECT_EQ (LineScanner ("0x1", " 0x%x").number (0), 1u);
    EXPECT_EQ (LineScanner ("0x0x12", " 0x%x").number (0), 0x12u) << "%x takes its own 0x prefix";
    EXPECT_EQ (LineScanner ("0x1ffffffff", " 0x%x").number (0), 0xFFFFFFFFu) << "kept modulo 2^32";

    LineScanner version ("SYSTEM_FW_VERSION : 1 . -2 .  300", " SYSTEM_FW_VERSION : %d . %d . %d");
    ASSERT_EQ (version.converted(), 3);
    EXPECT_EQ (version.number (0), 1u);
    EXPECT_EQ ((int32_t) version.number (1), -2);
    EXPECT_EQ (version.number (2), 300u);

    EXPECT_EQ (LineScanner ("99999999999999999999999", "%d").converted(), 1) << "no overflow trap";
}

TEST (LineScanner, TextFieldIsBounded)
{
    const std::string longText (LineScanner::maxTextLength + 1, 't');
    LineScanner scan ("# File Type: " + longText + ", Index = 1", " # File Type : %[^,], Index = %d");
    EXPECT_TRUE (scan.textTooLong());
    EXPECT_EQ (scan.text().size(), LineScanner::maxTextLength);

    LineScanner fits ("# File Type: " + longText.substr (1), " # File Type : %[^,]");
    EXPECT_FALSE (fits.textTooLong());
}

TEST (LineScanner, Blank)
{
    EXPECT_TRUE (LineScanner::isBlank (""));
    EXPECT_TRUE (LineScanner::isBlank (" \t "));
    EXPECT_FALSE (LineScanner::isBlank (" x "));
}
