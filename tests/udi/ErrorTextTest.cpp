#include <gtest/gtest.h>

#include <string>
#include <windows.h>

#include "udi/internal.h"

namespace {

bool endsInLineBreak(const std::string &text)
{
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

TEST(WindowsErrorText, BracketsTheCodeBeforeTheSystemsEnglishMessage)
{
    const std::string text = windows_error_text(5);

    EXPECT_EQ(text.rfind("[#00000005] ", 0), 0u) << text;
    EXPECT_GT(text.size(), 12u);
    EXPECT_NE(text.find("denied"), std::string::npos) << text;
    EXPECT_FALSE(endsInLineBreak(text)) << text;
}

TEST(WindowsErrorText, ZeroMeansTheThreadsLastErrorWhichItLeavesAlone)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = windows_error_text(0);

    EXPECT_EQ(text.rfind("[#00000002] ", 0), 0u) << text;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(WindowsErrorText, ACodeWithoutMessageIsNamedByNumberAlone)
{
    const std::string text = windows_error_text(0x2AFF1234u);

    EXPECT_EQ(text.find("[#"), std::string::npos) << text;
    const bool unknown = text == "Unknown error code 721359412";
    const bool lookupFailed = text.rfind("Windows error code 721359412 (FormatMessage error code ", 0) == 0
                              && text.back() == ')';
    EXPECT_TRUE(unknown || lookupFailed) << text;
}

TEST(PkiErrorText, NamesTheTableCodesAndFallsBackOtherwise)
{
    EXPECT_STREQ(pki_error_text(0x80090016u), "The key container could not be opened.");
    EXPECT_STREQ(pki_error_text(0x80070020u),
                 "Sharing violation - Some data handles to this file are still open.");
    EXPECT_STREQ(pki_error_text(0x80090002u), "Unknown PKI error 0x80090002");
    EXPECT_EQ(std::string(pki_error_text(5)), std::string(windows_error_text(5)));

    SetLastError(0x80092004u);
    EXPECT_STREQ(pki_error_text(0), "Cannot find object or property.");
}

}  // namespace
