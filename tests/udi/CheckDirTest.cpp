#include <gtest/gtest.h>

#include <aclapi.h>
#include <windows.h>

#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/libudi.h"
#include "udi/internal.h"

using udi_test::isFolder;
using udi_test::StreamCapture;
using udi_test::TempFolder;

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

TEST(CheckDir, CreatesARelativeFolderBelowTheCurrentOne)
{
    TempFolder folder;
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.wide().c_str()));

    const udi_result r = check_dir("relative\\below", 1);
    SetCurrentDirectoryW(saved);

    EXPECT_EQ(r, UDI_OK);
    EXPECT_TRUE(isFolder(folder.wide(L"relative\\below")));
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

}  // namespace
