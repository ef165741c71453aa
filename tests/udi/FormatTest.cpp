#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "udi/parse.h"

namespace {

TEST(Format, BoundedGivesTheLengthWhenTheTextFits)
{
    char buffer[16];
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s-%04X", "VID", 0x6E3C), 8);
    EXPECT_STREQ(buffer, "VID-6E3C");
}

TEST(Format, BoundedSaysMinusOneAndTheCallersTerminatorCutsTheText)
{
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s", "0123456789"), -1);
    buffer[sizeof(buffer) - 1] = '\0';
    EXPECT_STREQ(buffer, "0123456");

    // Exactly the size: no room for the terminator, so it does not fit either.
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s", "01234567"), -1);
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s", "0123456"), 7);
}

TEST(Format, BoundedWideTakesUtf16Texts)
{
    wchar_t buffer[32];
    EXPECT_EQ(format_bounded_wide(buffer, 32, L"%ls (Interface %d)", L"Kelvane", 2), 21);
    EXPECT_STREQ(buffer, L"Kelvane (Interface 2)");

    EXPECT_EQ(format_bounded_wide(buffer, 4, L"%ls", L"Kelvane"), -1);
    buffer[3] = L'\0';
    EXPECT_EQ(std::wcslen(buffer), 3u);
}

TEST(Format, TruncatedAlwaysTerminates)
{
    char buffer[8];
    EXPECT_EQ(format_truncated(buffer, sizeof(buffer), "Global\\%s", "udi_create_list"), -1);
    EXPECT_STREQ(buffer, "Global\\");

    EXPECT_EQ(format_truncated(buffer, sizeof(buffer), "%d", 42), 2);
    EXPECT_STREQ(buffer, "42");
}

TEST(Format, UnboundedWritesTheWholeText)
{
    char buffer[64];
    EXPECT_EQ(format_unbounded(buffer, "%s\\%s", "C:\\pkg", "deviceDrv.inf"), 20);
    EXPECT_STREQ(buffer, "C:\\pkg\\deviceDrv.inf");
}

TEST(Format, RefusesMissingBuffers)
{
    char buffer[4] = "abc";
    EXPECT_EQ(format_bounded(nullptr, 4, "%d", 1), -1);
    EXPECT_EQ(format_bounded(buffer, 0, "%d", 1), -1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(format_truncated(buffer, 0, "%d", 1), -1);
    EXPECT_EQ(format_bounded_wide(nullptr, 4, L"x"), -1);
    EXPECT_EQ(format_unbounded(nullptr, "%d", 1), -1);
}

}  // namespace
