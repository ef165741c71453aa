#include <gtest/gtest.h>

#include <string>
#include <windows.h>

#include "support/StreamCapture.h"
#include "udi/internal.h"

using udi_test::StreamCapture;

namespace {

TEST(LogConsole, InfoGoesToStandardOutputWithItsPrefix)
{
    StreamCapture capture;
    log_message(LOG_INFO, "udi_prepare_driver", "Successfully created '%s'",
                "C:\\Kelvane\\deviceDrv.inf");
    capture.finish();

    EXPECT_EQ(capture.out(), "libudi:info [udi_prepare_driver] Successfully created "
                             "'C:\\Kelvane\\deviceDrv.inf'\n");
    EXPECT_EQ(capture.err(), "");
}

TEST(LogConsole, EveryOtherLevelGoesToStandardErrorAndDebugNowhere)
{
    StreamCapture capture;
    log_message(LOG_DEBUG, "udi_create_list", "Hardware ID: %s", "USB\\VID_6E3C&PID_0222");
    log_message(LOG_WARNING, "udi_create_list", "Could not read driver version");
    log_message(LOG_ERROR, "check_dir", "'%s' does not exist", "C:\\missing");
    log_message(7, "process_message", "level %d", 7);
    capture.finish();

    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "libudi:warning [udi_create_list] Could not read driver version\n"
                             "libudi:error [check_dir] 'C:\\missing' does not exist\n"
                             "libudi:unknown [process_message] level 7\n");
}

TEST(LogConsole, PrintsLongMessagesWholeAndTakesTheStandardDirectives)
{
    const std::string path(700, 'p');
    StreamCapture capture;
    log_message(LOG_ERROR, "extract_binaries", "Qualified path is too long: '%s'", path.c_str());
    log_message(LOG_ERROR, "x", "%u %d %08X %zu %lld", 4000000000u, -12, 0xBEEFu, (size_t)3,
                -5ll);
    capture.finish();

    EXPECT_EQ(capture.err(), "libudi:error [extract_binaries] Qualified path is too long: '"
                             + path + "'\n"
                             "libudi:error [x] 4000000000 -12 0000BEEF 3 -5\n");
}

TEST(LogConsole, DropsLinesBelowTheThreshold)
{
    const int saved = log_level_threshold;
    log_level_threshold = LOG_ERROR;
    StreamCapture capture;
    log_message(LOG_INFO, "f", "info");
    log_message(LOG_WARNING, "f", "warning");
    log_message(LOG_ERROR, "f", "error");
    capture.finish();
    log_level_threshold = saved;

    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "libudi:error [f] error\n");
}

TEST(LogConsole, SurvivesMissingNames)
{
    StreamCapture capture;
    log_message(LOG_ERROR, nullptr, "no name");
    log_message(LOG_ERROR, "f", nullptr);
    capture.finish();

    EXPECT_EQ(capture.err(), "libudi:error [] no name\n");
}

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
