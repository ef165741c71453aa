#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <windows.h>

#include "udi/internal.h"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using WideText = std::unique_ptr<wchar_t, FreeDeleter>;
using Utf8Text = std::unique_ptr<char, FreeDeleter>;

TEST(TextConversion, RoundTripsUtf8ThroughUtf16)
{
    const char *utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x94\x8C";
    WideText wide(utf8_to_wide(utf8));
    ASSERT_NE(wide, nullptr);
    EXPECT_STREQ(wide.get(), L"Gr\u00FC\u00DFe \u20AC \U0001F50C");

    Utf8Text back(wide_to_utf8(wide.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back.get(), utf8);
}

TEST(TextConversion, EmptyAndNullTexts)
{
    WideText empty(utf8_to_wide(""));
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty.get(), L"");
    EXPECT_EQ(WideText(utf8_to_wide_nonempty("")), nullptr);
    EXPECT_EQ(WideText(utf8_to_wide(nullptr)), nullptr);
    EXPECT_EQ(WideText(utf8_to_wide_nonempty(nullptr)), nullptr);

    Utf8Text emptyBack(wide_to_utf8(L""));
    ASSERT_NE(emptyBack, nullptr);
    EXPECT_STREQ(emptyBack.get(), "");
    EXPECT_EQ(Utf8Text(wide_to_utf8(nullptr)), nullptr);
}

TEST(Environment, ReadsAVariableInUtf8)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"UDI_TEST_VALUE", L"C:\\T\u00E9mp\\\u00FC"));
    Utf8Text value(getenv_utf8("UDI_TEST_VALUE"));
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value.get(), "C:\\T\xC3\xA9mp\\\xC3\xBC");

    SetEnvironmentVariableW(L"UDI_TEST_VALUE", nullptr);
    EXPECT_EQ(Utf8Text(getenv_utf8("UDI_TEST_VALUE")), nullptr);
    EXPECT_EQ(Utf8Text(getenv_utf8(nullptr)), nullptr);

    Utf8Text temp(getenv_utf8("TEMP"));
    EXPECT_NE(temp, nullptr);
}

TEST(Environment, AnEmptyVariableIsSetWhateverErrorCameBefore)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"UDI_TEST_EMPTY", L""));
    for (DWORD stale : { DWORD(ERROR_SUCCESS), DWORD(ERROR_ENVVAR_NOT_FOUND) }) {
        SetLastError(stale);
        Utf8Text value(getenv_utf8("UDI_TEST_EMPTY"));
        ASSERT_NE(value, nullptr) << "after error " << stale;
        EXPECT_STREQ(value.get(), "");
    }
    SetEnvironmentVariableW(L"UDI_TEST_EMPTY", nullptr);
}

}  // namespace
