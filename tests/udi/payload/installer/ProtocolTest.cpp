// What the installer accepts as replies and how it cuts the setup log into
// lines: its pure logic, also built natively.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "udi/payload/installer/protocol.h"

namespace
{
    struct ReplyCase
    {
        reply_kind kind;
        std::string reply;
        reply_check expected;
    };

    class Replies : public ::testing::TestWithParam<ReplyCase> {};

    const std::string sid = "S-1-5-21-1004336348-1177238915-682003330-1000";

    // "S-1" and that many groups after it: the authority and its subauthorities.
    std::string sidOfGroups (int groups)
    {
        std::string text = "S-1";
        for (int i = 0; i < groups; ++i)
            text += "-5";
        return text;
    }

    const ReplyCase replyCases[] = {
        { REPLY_DEVICE_ID, "USB\\VID_6E3C&PID_0222\\UDITEST01", REPLY_VALID },
        { REPLY_DEVICE_ID, "USB\\VID_6E3C&PID_0222&MI_01\\6&1A2B3C&0&0001", REPLY_VALID },
        { REPLY_HARDWARE_ID, "USB\\VID_6E3C&PID_0222&REV_0100", REPLY_VALID },
        { REPLY_HARDWARE_ID, "MS_COMP_WINUSB", REPLY_VALID },
        { REPLY_USER_SID, sid, REPLY_VALID },
        { REPLY_USER_SID, "S-1-5-18", REPLY_VALID },
        // One zero byte: the library has no value.
        { REPLY_DEVICE_ID, std::string (1, '\0'), REPLY_EMPTY },
        { REPLY_USER_SID, std::string (1, '\0'), REPLY_EMPTY },
        // The longest id there can be, and one byte more.
        { REPLY_HARDWARE_ID, std::string (200, 'A'), REPLY_VALID },
        { REPLY_HARDWARE_ID, std::string (201, 'A'), REPLY_TOO_LONG },
        { REPLY_USER_SID, sid + std::string (200, '1'), REPLY_TOO_LONG },
        // Nothing, a terminator too many, and bytes no id holds.
        { REPLY_DEVICE_ID, "", REPLY_MALFORMED },
        { REPLY_DEVICE_ID, std::string ("USB\\VID_6E3C\\X\0", 15), REPLY_MALFORMED },
        { REPLY_DEVICE_ID, std::string ("USB\\VID\0_6E3C\\X", 15), REPLY_MALFORMED },
        { REPLY_DEVICE_ID, "USB\\VID 6E3C\\X", REPLY_MALFORMED },
        { REPLY_DEVICE_ID, "USB\\VID_6E3C,PID\\X", REPLY_MALFORMED },
        { REPLY_DEVICE_ID, "USB\\VID_6E3C\\\x7F", REPLY_MALFORMED },
        { REPLY_DEVICE_ID, "USB\\VID_6E3C\\\xC3\xA9", REPLY_MALFORMED },
        { REPLY_HARDWARE_ID, "USB\\VID_6E3C\r\n", REPLY_MALFORMED },
        // An instance id has an enumerator and an instance part.
        { REPLY_DEVICE_ID, "VID_6E3C&PID_0222", REPLY_MALFORMED },
        { REPLY_DEVICE_ID, "\\VID_6E3C&PID_0222", REPLY_MALFORMED },
        { REPLY_DEVICE_ID, "USB\\", REPLY_MALFORMED },
        // A SID in text form and nothing else.
        { REPLY_USER_SID, "S-1-5", REPLY_VALID },
        { REPLY_USER_SID, "S-1-", REPLY_MALFORMED },
        { REPLY_USER_SID, "S-1-5-", REPLY_MALFORMED },
        { REPLY_USER_SID, "S-1-5--18", REPLY_MALFORMED },
        { REPLY_USER_SID, "s-1-5-18", REPLY_MALFORMED },
        { REPLY_USER_SID, "S-2-5-18", REPLY_MALFORMED },
        { REPLY_USER_SID, "S-1-5-x", REPLY_MALFORMED },
        { REPLY_USER_SID, "S-1-5-12345678901", REPLY_MALFORMED },
        { REPLY_USER_SID, sidOfGroups (16), REPLY_VALID },
        { REPLY_USER_SID, sidOfGroups (17), REPLY_MALFORMED },
        { REPLY_USER_SID, "USB\\VID_6E3C\\X", REPLY_MALFORMED },
    };
}

TEST_P (Replies, AreCheckedBeforeUse)
{
    const ReplyCase& c = GetParam();
    char out[REPLY_MAX_LENGTH + 1];
    memset (out, 'x', sizeof (out));

    EXPECT_EQ (check_reply (c.kind, reinterpret_cast<const unsigned char*> (c.reply.data()), c.reply.size(), out,
                            sizeof (out)),
               c.expected);
    EXPECT_EQ (std::string (out), c.expected == REPLY_VALID ? c.reply : std::string());
}

INSTANTIATE_TEST_SUITE_P (ReplyCases, Replies, ::testing::ValuesIn (replyCases));

TEST (ReplyChecks, NeedRoomForTheLongestId)
{
    char small[REPLY_MAX_LENGTH];
    const unsigned char reply[] = "USB\\X\\Y";

    EXPECT_EQ (check_reply (REPLY_DEVICE_ID, reply, 7, small, sizeof (small)), REPLY_MALFORMED);
    EXPECT_EQ (check_reply (REPLY_DEVICE_ID, nullptr, 7, small, sizeof (small) + 1), REPLY_MALFORMED);
}

namespace
{
    std::vector<std::string> linesOf (const std::string& text)
    {
        std::vector<std::string> lines;
        for_each_text_line (text.data(), text.size(),
                            [] (void* context, const char* line, size_t length)
                            {
                                static_cast<std::vector<std::string>*> (context)->emplace_back (line, length);
                                return 0;
                            },
                            &lines);
        return lines;
    }

    using Lines = std::vector<std::string>;
}

TEST (SetupLogLines, AreCleanAndWhole)
{
    EXPECT_EQ (linesOf (">>>  [Device Install]\r\n     dvi: Selected driver\r\n<<<  [Exit status: SUCCESS]"),
               (Lines { ">>>  [Device Install]", "dvi: Selected driver", "<<<  [Exit status: SUCCESS]" }));
    EXPECT_EQ (linesOf ("\r\n\r\n  \t \n\nlast\n"), (Lines { "last" }));
    EXPECT_EQ (linesOf ("a\rb\n\rc"), (Lines { "a", "b", "c" }));
    EXPECT_EQ (linesOf (std::string ("tab\there\0zero\x1b[0m", 18)), (Lines { "tab here zero [0m" }));
    EXPECT_EQ (linesOf (""), Lines {});
}

TEST (SetupLogLines, AreCutAtTheLongestMessage)
{
    const std::string longLine (MESSAGE_TEXT_MAX + 500, 'x');

    EXPECT_EQ (linesOf (longLine + "\nnext"), (Lines { std::string (MESSAGE_TEXT_MAX, 'x'), "next" }));
}

TEST (SetupLogLines, StopWhenTheHandlerSaysSo)
{
    int calls = 0;
    const std::string text = "one\ntwo\nthree";

    EXPECT_EQ (for_each_text_line (text.data(), text.size(),
                                   [] (void* context, const char*, size_t)
                                   {
                                       return ++*static_cast<int*> (context) == 2 ? 7 : 0;
                                   },
                                   &calls),
               7);
    EXPECT_EQ (calls, 2);
}
