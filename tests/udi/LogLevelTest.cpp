#include <gtest/gtest.h>

#include "udi/parse.h"

namespace {

TEST(LogLevel, NamesEachLevelAndAnyOtherAsUnknown)
{
    EXPECT_STREQ(log_level_name(LOG_DEBUG), "debug");
    EXPECT_STREQ(log_level_name(LOG_INFO), "info");
    EXPECT_STREQ(log_level_name(LOG_WARNING), "warning");
    EXPECT_STREQ(log_level_name(LOG_ERROR), "error");
    EXPECT_STREQ(log_level_name(7), "unknown");
    EXPECT_STREQ(log_level_name(-1), "unknown");
    EXPECT_EQ(log_level_threshold, LOG_INFO);
}

}  // namespace
