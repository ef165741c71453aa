#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::isFile;
using udi_test::readFile;
using udi_test::TempFolder;

namespace {

TEST(FopenAsUser, WritesBytesUnchangedAndTruncates)
{
    TempFolder folder;
    const std::string path = folder.utf8(L"p\u00E4yload.bin");
    const std::string bytes("MZ\n\r\n\x1A\0\xFF\xFE", 9);

    FILE *file = fopen_as_userU(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("a much longer first content that must go", file);
    std::fclose(file);

    file = fopen_as_userU(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);

    EXPECT_EQ(readFile(folder.wide(L"p\u00E4yload.bin")), bytes);
}

TEST(FopenAsUser, AnRInTheModeGivesAStreamToReadBack)
{
    TempFolder folder;
    FILE *file = fopen_as_userU(folder.utf8(L"both.txt").c_str(), "rw");
    ASSERT_NE(file, nullptr);
    std::fputs("back", file);
    std::rewind(file);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, 4, file), 4u);
    EXPECT_STREQ(text, "back");
    std::fclose(file);
}

TEST(FopenAsUser, OffersNoReadOnlyOpeningAndRefusesMissingArguments)
{
    TempFolder folder;
    const std::string path = folder.utf8(L"never.txt");
    EXPECT_EQ(fopen_as_userU(path.c_str(), "r"), nullptr);
    EXPECT_EQ(fopen_as_userU(path.c_str(), ""), nullptr);
    EXPECT_EQ(fopen_as_userU(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(fopen_as_userU(nullptr, "w"), nullptr);
    EXPECT_FALSE(isFile(folder.wide(L"never.txt")));

    EXPECT_EQ(fopen_as_userU(folder.utf8(L"missing\\folder\\file").c_str(), "w"), nullptr);
}

TEST(GetSid, GivesACopyOfTheTokensUser)
{
    PSID sid = GetSid();
    ASSERT_NE(sid, nullptr);
    EXPECT_TRUE(IsValidSid(sid));

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    char buffer[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size));
    EXPECT_TRUE(EqualSid(sid, reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid));
    EXPECT_NE(sid, reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid);
    CloseHandle(token);
    EXPECT_EQ(LocalFree(sid), nullptr);
}

}  // namespace
