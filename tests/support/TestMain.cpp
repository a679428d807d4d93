#include "support/LogCapture.h"

#include <gtest/gtest.h>

// Log lines go to the capture (and to stderr with QUELLON_TEST_LOG set), so
// tests can assert on them and the output stays readable.
int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    LogCapture::instance().install();
    return RUN_ALL_TESTS();
}
