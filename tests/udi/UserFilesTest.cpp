#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>
#include <windows.h>
#include <aclapi.h>

#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::isFile;
using udi_test::isFolder;
using udi_test::readFile;
using udi_test::StreamCapture;
using udi_test::TempFolder;
using udi_test::writeFile;

namespace {

TEST(CheckDir, AcceptsAnExistingFolderPlainOrQuoted)
{
    TempFolder folder;
    EXPECT_EQ(check_dir(folder.utf8().c_str(), 0), UDI_OK);
    EXPECT_EQ(check_dir(("\"" + folder.utf8() + "\"").c_str(), 1), UDI_OK);
}

TEST(CheckDir, RefusesAFile)
{
    TempFolder folder;
    const std::string file = folder.utf8(L"deviceDrv.inf");
    CloseHandle(CreateFileW(folder.wide(L"deviceDrv.inf").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, 0, nullptr));

    StreamCapture capture;
    EXPECT_EQ(check_dir(file.c_str(), 1), UDI_ERR_FILE_ACCESS);
    capture.finish();
    EXPECT_EQ(capture.err(), "libudi:error [check_dir] '" + file + "' is a file, not a directory\n");
}

TEST(CheckDir, AMissingFolderIsAnErrorUnlessCreated)
{
    TempFolder folder;
    const std::wstring nested = L"Kelv\u00E4ne\\driver\\amd64";
    const std::string path = folder.utf8(nested);

    StreamCapture capture;
    EXPECT_EQ(check_dir(path.c_str(), 0), UDI_ERR_FILE_ACCESS);
    capture.finish();
    EXPECT_EQ(capture.err(), "libudi:error [check_dir] '" + path + "' does not exist\n");
    EXPECT_FALSE(isFolder(folder.wide(nested)));

    EXPECT_EQ(check_dir(path.c_str(), 1), UDI_OK);
    EXPECT_TRUE(isFolder(folder.wide(nested)));
    EXPECT_EQ(check_dir(path.c_str(), 1), UDI_OK);
}

// check_dir(path, 1) run with folder as the process's current folder.
struct RunBelow {
    bool entered = false;
    udi_result result = UDI_OK;
    std::string errors;  // what it logged
};

RunBelow checkDirBelow(const std::wstring &folder, const std::string &path)
{
    RunBelow run;
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    StreamCapture capture;
    run.entered = SetCurrentDirectoryW(folder.c_str()) != FALSE;
    if (run.entered)
        run.result = check_dir(path.c_str(), 1);
    SetCurrentDirectoryW(saved);
    capture.finish();
    run.errors = capture.err();
    return run;
}

TEST(CheckDir, CreatesARelativeFolderBelowTheCurrentOne)
{
    TempFolder folder;
    const RunBelow run = checkDirBelow(folder.wide(), "relative\\below");

    ASSERT_TRUE(run.entered);
    EXPECT_EQ(run.result, UDI_OK);
    EXPECT_TRUE(isFolder(folder.wide(L"relative\\below")));
}

TEST(CheckDir, RefusesARelativePathThatWouldBeCutBelowTheCurrentFolder)
{
    TempFolder folder;
    const std::wstring below = folder.pathOfLength(240).wstring();
    ASSERT_TRUE(CreateDirectoryW(below.c_str(), nullptr));
    const std::string relative = "relative\\" + std::string(30, 'r');

    const RunBelow run = checkDirBelow(below, relative);

    ASSERT_TRUE(run.entered);
    EXPECT_EQ(run.result, UDI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(run.errors, "libudi:error [check_dir] Directory name '" + relative + "' is too long\n");
    EXPECT_TRUE(std::filesystem::is_empty(below)) << "no folder of a cut name";
}

TEST(CheckDir, RefusesARelativePathBelowACurrentFolderTooLongToRead)
{
    // Past MAX_PATH, made a part at a time through the long-path prefix.
    TempFolder folder;
    std::vector<std::wstring> parts;
    std::wstring below = L"\\\\?\\" + folder.wide();
    while (below.size() < 300) {
        below += L"\\" + std::wstring(100, L'c');
        ASSERT_TRUE(CreateDirectoryW(below.c_str(), nullptr));
        parts.push_back(below);
    }
    const std::string name = "udi_test_root_" + std::to_string(GetCurrentProcessId());
    const std::wstring atRoot = folder.wide().substr(0, 3) + std::wstring(name.begin(), name.end());

    const RunBelow run = checkDirBelow(below, name);
    const bool madeAtRoot = isFolder(atRoot);
    RemoveDirectoryW(atRoot.c_str());
    for (auto part = parts.rbegin(); part != parts.rend(); ++part)
        RemoveDirectoryW(part->c_str());

    ASSERT_TRUE(run.entered);
    EXPECT_EQ(run.result, UDI_ERR_BAD_ARGUMENT);
    EXPECT_FALSE(madeAtRoot) << "created at the drive's root";
    EXPECT_EQ(run.errors, "libudi:error [check_dir] Directory name '" + name + "' is too long\n");
}

TEST(CheckDir, MakesTheUserTheOwnerOfWhatItCreates)
{
    TempFolder folder;
    ASSERT_EQ(check_dir(folder.utf8(L"owned").c_str(), 1), UDI_OK);

    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(folder.wide(L"owned").c_str(), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                                    &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    PSID user = GetSid();
    ASSERT_NE(user, nullptr);
    EXPECT_TRUE(EqualSid(owner, user));
    LocalFree(user);
    LocalFree(descriptor);
}

TEST(CheckDir, RefusesNothingToCheck)
{
    EXPECT_EQ(check_dir(nullptr, 1), UDI_ERR_BAD_ARGUMENT);
}

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

TEST(FopenAsUser, AnXInTheModeCreatesOnlyANewFile)
{
    TempFolder folder;
    writeFile(folder.wide(L"existing.bin"), "kept");
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(fopen_as_userU(folder.utf8(L"existing.bin").c_str(), "wx"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(readFile(folder.wide(L"existing.bin")), "kept");

    FILE *file = fopen_as_userU(folder.utf8(L"new.bin").c_str(), "wx");
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    std::fclose(file);
    EXPECT_EQ(readFile(folder.wide(L"new.bin")), "new");
}

TEST(FopenAsUser, LeavesTheCallerWhyItFailed)
{
    TempFolder folder;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(fopen_as_userU(folder.utf8(L"missing\\file.bin").c_str(), "w"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // With every stream of the C library taken, the file is created but
    // cannot become a stream: that is an error too, not "success".
    std::vector<FILE *> taken;
    for (FILE *stream; taken.size() < 8192 && (stream = std::fopen("NUL", "w")) != nullptr;)
        taken.push_back(stream);
    SetLastError(ERROR_SUCCESS);
    FILE *file = fopen_as_userU(folder.utf8(L"no-stream.bin").c_str(), "w");
    const DWORD error = GetLastError();
    for (FILE *stream : taken)
        std::fclose(stream);

    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_TOO_MANY_OPEN_FILES));
    if (file != nullptr)
        std::fclose(file);
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
