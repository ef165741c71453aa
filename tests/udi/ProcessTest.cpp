#include <gtest/gtest.h>

#include <windows.h>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::exitCodeOf;
using udi_test::isFile;
using udi_test::probePath;
using udi_test::TempFolder;
using udi_test::toUtf8;
using udi_test::waitForEnd;

namespace {

TEST(ProcessStart, CreateProcessTakesUtf8Texts)
{
    TempFolder folder;
    const std::wstring below = L"st\u00E4rt \u20AC";
    CreateDirectoryW(folder.wide(below).c_str(), nullptr);
    const std::string probe = toUtf8(probePath());
    std::string command = "\"" + probe + "\" write-cwd";

    STARTUPINFOA startup = { sizeof(startup) };
    startup.lpTitle = const_cast<char *>("t\xC3\xAFtle");
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(create_process_utf8(probe.c_str(), command.data(), nullptr, nullptr, FALSE,
                                    CREATE_NO_WINDOW, nullptr, folder.utf8(below).c_str(), &startup,
                                    &process));
    EXPECT_EQ(waitForEnd(process, 1000), 0);
    EXPECT_TRUE(isFile(folder.wide(below + L"\\cwd.txt")));
}

TEST(ProcessStart, CreateProcessRefusesAStartupRecordOfTheWrongSize)
{
    STARTUPINFOA startup = { sizeof(startup) - 1 };
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + toUtf8(probePath()) + "\" write-cwd";

    SetLastError(0);
    EXPECT_FALSE(create_process_utf8(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_EQ(process.hProcess, nullptr);

    EXPECT_FALSE(create_process_utf8(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, nullptr, &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessStart, CreateProcessLeavesTheSystemsError)
{
    STARTUPINFOA startup = { sizeof(startup) };
    PROCESS_INFORMATION process = {};
    std::string command = "\"C:\\no\\such\\installer_x64.exe\"";

    EXPECT_FALSE(create_process_utf8(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &process));
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
}

TEST(ProcessStart, ShellExecuteTakesUtf8TextsAndHandsBackTheProcess)
{
    TempFolder folder;
    const std::wstring below = L"sh\u00EBll";
    CreateDirectoryW(folder.wide(below).c_str(), nullptr);
    const std::string probe = toUtf8(probePath());
    const std::string directory = folder.utf8(below);

    SHELLEXECUTEINFOA info = { sizeof(info) };
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = probe.c_str();
    info.lpParameters = "write-cwd";
    info.lpDirectory = directory.c_str();
    info.nShow = SW_HIDE;
    ASSERT_TRUE(shell_execute_ex_utf8(&info));
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_GT(reinterpret_cast<INT_PTR>(info.hInstApp), 32);
    EXPECT_EQ(exitCodeOf(info.hProcess, 1000), 0);
    CloseHandle(info.hProcess);
    EXPECT_TRUE(isFile(folder.wide(below + L"\\cwd.txt")));
}

TEST(ProcessStart, ShellExecuteRefusesARecordOfTheWrongSize)
{
    SHELLEXECUTEINFOA info = { sizeof(info) + 8 };
    info.lpFile = "installer_x64.exe";
    SetLastError(0);
    EXPECT_FALSE(shell_execute_ex_utf8(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_FALSE(shell_execute_ex_utf8(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
