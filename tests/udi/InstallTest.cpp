// The installation over the installer's pipe. A scripted installer double
// (installer_double.c), placed as installer_x64.exe in a package folder,
// plays the installer's side; one test runs the package's real installer on
// a fake device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include <sddl.h>
#include <setupapi.h>
#include <tlhelp32.h>

#include "payload/installer/DriverPackage.h"
#include "support/ChildProcess.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/OpenHandles.h"
#include "support/ScopedEnvironment.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::StreamCapture;
using udi_test::TempFolder;

namespace {

const char *const deviceId = "USB\\VID_6E3C&PID_0222\\UDITEST_DOUBLE";
const char *const hardwareId = "USB\\VID_6E3C&PID_0222";

std::string hexOf(const std::string &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The user's SID as the library's reply gives it.
std::string userSid()
{
    std::string text;
    PSID sid = GetSid();
    char *converted = nullptr;
    if (sid != nullptr && ConvertSidToStringSidA(sid, &converted))
        text = converted;
    LocalFree(converted);
    LocalFree(sid);
    return text;
}

// Processes of that executable name that run now.
int runningProcesses(const wchar_t *name)
{
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = { sizeof(entry) };
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        count += _wcsicmp(entry.szExeFile, name) == 0;
    CloseHandle(snapshot);
    return count;
}

// A terminated process may take a moment to leave the list.
bool installerGone()
{
    for (int i = 0; i < 50; i++) {
        if (runningProcesses(L"installer_x64.exe") == 0)
            return true;
        Sleep(100);
    }
    return false;
}

// Ends the installer processes that run now, which only a test may have to do.
void endInstallers()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = { sizeof(entry) };
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"installer_x64.exe") != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

struct Outcome {
    udi_result result = 1000;
    std::string out, err;   // the library's log, debug lines included
    std::string seen;       // the double's own notes
    double seconds = 0;
};

// A package folder whose installer is the double, and the device it installs for.
class InstallerDouble : public ::testing::Test {
protected:
    void SetUp() override
    {
        installer_read_timeout_ms = 10000;
        ASSERT_TRUE(CopyFileW(udi_test::probePath(L"udi_installer_double.exe").c_str(),
                              folder.wide(L"installer_x64.exe").c_str(), FALSE));
        device.device_id = const_cast<char *>(deviceId);
        device.hardware_id = const_cast<char *>(hardwareId);
    }

    void TearDown() override
    {
        system_function_restore_all();
        installer_read_timeout_ms = 10000;
        EXPECT_TRUE(installerGone());
    }

    Outcome install(const std::string &script, const udi_install_options *options = nullptr)
    {
        udi_test::writeFile(folder.wide(L"script.txt"), script);
        DeleteFileW(folder.wide(L"double.log").c_str());
        Outcome run;
        const int threshold = log_level_threshold;
        log_level_threshold = LOG_DEBUG;
        const auto start = std::chrono::steady_clock::now();
        {
            StreamCapture capture;
            run.result = udi_install_driver(&device, folder.utf8().c_str(), "script.txt", options);
            capture.finish();
            run.out = capture.out();
            run.err = capture.err();
        }
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        log_level_threshold = threshold;
        run.seen = udi_test::readFile(folder.wide(L"double.log"));
        return run;
    }

    TempFolder folder;
    udi_device_node device = {};
};

// The whole conversation as the real installer holds it.
TEST_F(InstallerDouble, AnswersEachRequestAndLogsWhatItIsTold)
{
    const Outcome run = install("connect\nask 2\nask 3\nask 4\n"
                            "send 0 text:Installing the device\n"
                            "send 1 hex:736574757020" "6C696E6500" "6A756E6B\n"
                            "send 5\nsend 6\nsend 7 hex:00\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0) << run.err;
    // Started with the INF name in quotes, in the package folder.
    EXPECT_TRUE(contains(run.seen, "argc 2\narg script.txt\n")) << run.seen;
    EXPECT_TRUE(contains(run.seen, "cwd " + folder.utf8() + "\n")) << run.seen;
    // The bare bytes of each id, without terminator.
    EXPECT_TRUE(contains(run.seen, "reply 2 " + hexOf(deviceId) + "\n")) << run.seen;
    EXPECT_TRUE(contains(run.seen, "reply 3 " + hexOf(hardwareId) + "\n")) << run.seen;
    const std::string sid = userSid();
    ASSERT_EQ(sid.rfind("S-1-5-", 0), 0u);
    EXPECT_TRUE(contains(run.seen, "reply 4 " + hexOf(sid) + "\n")) << run.seen;

    for (const char *line : {
             "libudi:debug [udi_install_driver] Using standard mode\n",
             "libudi:debug [process_message] Got request for device_id\n",
             "libudi:debug [process_message] Got request for hardware_id\n",
             "libudi:debug [installer process] Installing the device\n",
             // A text ends at its first zero byte.
             "libudi:debug [syslog] setup line\n",
             "libudi:debug [process_message] Switching timeout to infinite\n",
             "libudi:debug [process_message] Switching timeout back to finite\n",
             "libudi:debug [process_message] Installer process completed\n" })
        EXPECT_TRUE(contains(run.err, line)) << line << run.err;
    EXPECT_FALSE(contains(run.err, "junk"));
    EXPECT_FALSE(contains(run.err, "libudi:error"));
    EXPECT_EQ(installer_read_timeout_ms, 10000u);
}

TEST_F(InstallerDouble, RepliesOneZeroByteForIdsTheDeviceLacks)
{
    device.device_id = nullptr;
    device.hardware_id = const_cast<char *>("");

    const Outcome run = install("connect\nask 2\nask 3\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0) << run.err;
    EXPECT_TRUE(contains(run.seen, "reply 2 00\nreply 3 00\n")) << run.seen;
    EXPECT_TRUE(contains(run.err, "libudi:debug [process_message] No device_id - sending empty string\n"));
    EXPECT_TRUE(contains(run.err, "libudi:debug [process_message] No hardware_id - sending empty string\n"));
}

// A relayed text reaches the console as one line, whatever it holds.
TEST_F(InstallerDouble, RelayedTextsCannotBreakTheLogLine)
{
    const Outcome run = install("connect\nsend 0 hex:6F6E650A6C696E651B5B324A0D0A\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(contains(run.err, "libudi:debug [installer process] one line [2J\n")) << run.err;
}

struct EndingMessage {
    const char *name;
    const char *script_line;
    udi_result result;
    const char *error;  // the error line's message, "" for none
};

class EndingMessages : public InstallerDouble, public ::testing::WithParamInterface<EndingMessage> {};

// Each message below ends the conversation with its result at once: the
// double's later "finished" and clean exit would otherwise give 0.
TEST_P(EndingMessages, EndTheInstallationWithTheirResult)
{
    const EndingMessage &c = GetParam();
    const Outcome run = install(std::string("connect\n") + c.script_line + "\nsleep 300\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, c.result) << run.err;
    if (c.error[0] != '\0') {
        EXPECT_TRUE(contains(run.err, std::string("libudi:error [process_message] ") + c.error + "\n"))
            << run.err;
    } else {
        EXPECT_FALSE(contains(run.err, "libudi:error")) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    InstallProtocol, EndingMessages,
    ::testing::Values(
        EndingMessage{ "ProgressWithoutText", "send 0", -5, "Print_message: no data" },
        EndingMessage{ "SetupLogWithoutText", "send 1", -5, "Syslog_message: no data" },
        EndingMessage{ "StatusWithoutByte", "send 7", -5, "Set status: no data" },
        EndingMessage{ "StatusOfTwoBytes", "send 7 hex:0000", -5, "Set status: 2 bytes instead of one" },
        EndingMessage{ "UnknownType", "send 10", -5, "Unrecognized installer message" },
        EndingMessage{ "TypeAboveEight", "send 200 text:x", -5, "Unrecognized installer message" },
        EndingMessage{ "RequestWithData", "send 2 text:id", -5,
                       "Installer message 2 carries 2 unexpected bytes" },
        EndingMessage{ "FinishedWithData", "send 8 hex:00", -5,
                       "Installer message 8 carries 1 unexpected bytes" },
        EndingMessage{ "EmptyMessage", "empty", -2, "Empty installer message" },
        EndingMessage{ "NegativeStatus", "send 7 hex:FD", -3, "" },
        EndingMessage{ "PositiveStatus", "send 7 hex:7F", 127, "" }),
    [](const auto &tested) { return std::string(tested.param.name); });

// 512 bytes, then 1,024, then 2,048 hold it: the message arrives whole.
TEST_F(InstallerDouble, GrowsTheBufferForALongMessage)
{
    const Outcome run = install("connect\nsend 0 fill:1499\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "increasing buffer size to 1024 bytes\n")) << run.err;
    EXPECT_TRUE(contains(run.err, "increasing buffer size to 2048 bytes\n")) << run.err;
    EXPECT_FALSE(contains(run.err, "4096 bytes"));
    EXPECT_TRUE(contains(run.err, "[installer process] " + std::string(1499, 'x') + "\n"));
}

TEST_F(InstallerDouble, RefusesAMessageBeyondAnyTheInstallerSends)
{
    const Outcome run = install("connect\nsend 0 fill:66000\nexit 0\n");

    EXPECT_EQ(run.result, -5);
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] Installer message longer than "
                                  "65536 bytes - aborting\n")) << run.err;
}

struct ExitCase {
    const char *name;
    const char *script;
    udi_result result;
};

class InstallerEnds : public InstallerDouble, public ::testing::WithParamInterface<ExitCase> {};

// However the installer goes, its exit code decides, and nothing waits
// for an installer that is gone.
TEST_P(InstallerEnds, ResultComesFromItsExitCode)
{
    const Outcome run = install(GetParam().script);

    EXPECT_EQ(run.result, GetParam().result) << run.err;
    EXPECT_LT(run.seconds, 5.0);
}

INSTANTIATE_TEST_SUITE_P(
    InstallProtocol, InstallerEnds,
    ::testing::Values(
        ExitCase{ "ClosesThenExitsWithZero", "connect\nclose\nsleep 200\nexit 0\n", 0 },
        ExitCase{ "ClosesThenExitsStillActive", "connect\nclose\nsleep 200\nexit 259\n", -7 },
        ExitCase{ "ClosesThenExitsWithFailure", "connect\nclose\nsleep 200\nexit 5\n", -99 },
        ExitCase{ "ExitsWithoutClosing", "connect\nsend 0 text:bye\nexit 4\n", -99 },
        ExitCase{ "NeverConnectsAndFails", "exit 3\n", -99 },
        ExitCase{ "NeverConnectsAndSucceeds", "sleep 300\nexit 0\n", 0 }),
    [](const auto &tested) { return std::string(tested.param.name); });

TEST_F(InstallerDouble, MissingInstallerNamesItsBits)
{
    ASSERT_TRUE(DeleteFileW(folder.wide(L"installer_x64.exe").c_str()));
    const Outcome run = install("exit 0\n");

    EXPECT_EQ(run.result, -5);
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] This application does not contain "
                                  "the required 64 bit installer\n")) << run.err;
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] Please contact the application "
                                  "provider for a 64 bit compatible version\n")) << run.err;
}

TEST_F(InstallerDouble, RefusesMissingArguments)
{
    udi_test::writeFile(folder.wide(L"script.txt"), "exit 0\n");
    StreamCapture capture;
    EXPECT_EQ(udi_install_driver(nullptr, folder.utf8().c_str(), "script.txt", nullptr), -2);
    EXPECT_EQ(udi_install_driver(&device, folder.utf8().c_str(), nullptr, nullptr), -2);
    {
        udi_test::ScopedEnvironment noTemp(L"TEMP", nullptr);
        EXPECT_EQ(udi_install_driver(&device, nullptr, "script.txt", nullptr), -2);
        EXPECT_EQ(udi_install_driver(&device, "", "script.txt", nullptr), -2);
    }
    capture.finish();
    EXPECT_TRUE(contains(capture.err(), "libudi:error [install_driver_internal] One of the required parameter "
                                        "is NULL\n"));
}

// Without a folder the package is the one in TEMP.
TEST_F(InstallerDouble, InstallsFromTempWithoutAFolder)
{
    udi_test::writeFile(folder.wide(L"script.txt"), "connect\nsend 8\nclose\nexit 0\n");
    udi_test::ScopedEnvironment temp(L"TEMP", folder.wide().c_str());
    StreamCapture capture;

    EXPECT_EQ(udi_install_driver(&device, nullptr, "script.txt", nullptr), 0);
    capture.finish();
    EXPECT_TRUE(contains(capture.out(), "libudi:info [install_driver_internal] No path provided - installing "
                                        "from '" + folder.utf8() + "'\n")) << capture.out();
    EXPECT_TRUE(contains(udi_test::readFile(folder.wide(L"double.log")), "cwd " + folder.utf8()));
}

// Another program that holds the pipe's name is not talked to: the
// installation ends at once, before any installer starts, and says why.
// (Wine 8 lets a first instance be made beside another program's pipe of
// the same name that has room for more; the test's pipe has none.)
TEST_F(InstallerDouble, APipeNameTakenElsewhereEndsTheInstallationAtOnce)
{
    const HANDLE taken = CreateNamedPipeA("\\\\.\\pipe\\libudi-installer", PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(taken, INVALID_HANDLE_VALUE);
    const Outcome run = install("connect\nsend 8\nclose\nexit 0\n");
    CloseHandle(taken);

    EXPECT_EQ(run.result, -11) << run.err;
    EXPECT_LT(run.seconds, 3.0);
    EXPECT_EQ(run.seen, "");
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] Could not create read pipe: ")) << run.err;
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] The pipe \\\\.\\pipe\\libudi-installer is "
                                  "held by another program\n")) << run.err;
    EXPECT_EQ(install("connect\nsend 8\nclose\nexit 0\n").result, 0);
}

TEST_F(InstallerDouble, SecondInstallationWhileOneRunsIsRefused)
{
    std::atomic<udi_result> first{ 1000 };
    udi_test::writeFile(folder.wide(L"script.txt"), "connect\nsleep 2000\nsend 8\nclose\nexit 0\n");
    std::thread running([&] { first = udi_install_driver(&device, folder.utf8().c_str(), "script.txt", nullptr); });
    for (int i = 0; i < 100 && !udi_test::lockExists("install_driver_internal"); i++)
        Sleep(20);

    EXPECT_EQ(udi_install_driver(&device, folder.utf8().c_str(), "script.txt", nullptr), -6);
    running.join();
    EXPECT_EQ(first, 0);
}

TEST_F(InstallerDouble, InstallationInAnotherProcessHoldsTheLock)
{
    udi_test::HeldLock elsewhere(L"install_driver_internal");
    ASSERT_TRUE(elsewhere.held());

    EXPECT_EQ(install("connect\nsend 8\nclose\nexit 0\n").result, -6);
    EXPECT_EQ(elsewhere.release(), 0);
    EXPECT_EQ(install("connect\nsend 8\nclose\nexit 0\n").result, 0);
}

// Wine's answer is always "nothing pending": the wait is replaced here.
struct PendingInstallations {
    static inline DWORD answer = WAIT_TIMEOUT;
    static inline std::vector<DWORD> calls;

    static DWORD WINAPI wait(DWORD milliseconds)
    {
        calls.push_back(milliseconds);
        return answer;
    }
};

TEST_F(InstallerDouble, OtherPendingInstallationsFailAtOnce)
{
    PendingInstallations::calls.clear();
    PendingInstallations::answer = WAIT_TIMEOUT;
    system_function_replace("SetupAPI", "CMP_WaitNoPendingInstallEvents",
                            reinterpret_cast<system_function>(&PendingInstallations::wait));
    const udi_install_options zero = {};
    const udi_install_options waiting = { nullptr, 0, 1234 };

    const Outcome all_zero = install("connect\nsend 8\nclose\nexit 0\n", &zero);
    EXPECT_EQ(all_zero.result, -9);
    EXPECT_TRUE(contains(all_zero.err, "libudi:warning [install_driver_internal] Timeout expired while waiting "
                                       "for another pending installation - aborting\n"));
    EXPECT_EQ(all_zero.seen, "");  // never started
    EXPECT_EQ(install("connect\nsend 8\nclose\nexit 0\n", &waiting).result, -9);
    EXPECT_EQ(PendingInstallations::calls, (std::vector<DWORD>{ 0, 1234 }));

    // No options: nothing asked.
    EXPECT_EQ(install("connect\nsend 8\nclose\nexit 0\n").result, 0);
    PendingInstallations::answer = WAIT_OBJECT_0;
    EXPECT_EQ(install("connect\nsend 8\nclose\nexit 0\n", &zero).result, 0);
    EXPECT_EQ(PendingInstallations::calls.size(), 3u);
}

TEST_F(InstallerDouble, WithoutThePendingWaitNothingStarts)
{
    system_function_hide("SetupAPI", "CMP_WaitNoPendingInstallEvents");
    const Outcome run = install("connect\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, -11);
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] Unable to locate "
                                  "CMP_WaitNoPendingInstallEvents() in SetupAPI\n"));
    EXPECT_EQ(run.seen, "");
}

// What the elevated start was given, and what the start answers.
struct ElevatedStart {
    static inline std::wstring verb, file, parameters, directory;
    static inline ULONG mask = 0;
    static inline int show = -1;
    static inline DWORD refusal = 0;       // nonzero: fail with it
    static inline bool keepHandle = true;  // false: start, but hand back no process handle

    static BOOL WINAPI start(SHELLEXECUTEINFOW *info)
    {
        verb = info->lpVerb ? info->lpVerb : L"";
        file = info->lpFile ? info->lpFile : L"";
        parameters = info->lpParameters ? info->lpParameters : L"";
        directory = info->lpDirectory ? info->lpDirectory : L"";
        mask = info->fMask;
        show = info->nShow;
        info->hProcess = nullptr;
        if (refusal != 0) {
            SetLastError(refusal);
            return FALSE;
        }
        std::wstring command = L"\"" + file + L"\" " + parameters;
        STARTUPINFOW startup = { sizeof(startup) };
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            directory.c_str(), &startup, &process))
            return FALSE;
        CloseHandle(process.hThread);
        if (keepHandle)
            info->hProcess = process.hProcess;
        else
            CloseHandle(process.hProcess);
        return TRUE;
    }

    static void replace(DWORD failWith, bool handle)
    {
        refusal = failWith;
        keepHandle = handle;
        system_function_replace("Shell32", "ShellExecuteExW", reinterpret_cast<system_function>(&start));
    }
};

TEST_F(InstallerDouble, StartsThePackagesOwnInstallerElevatedAndHidden)
{
    ElevatedStart::replace(0, true);
    const Outcome run = install("connect\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0) << run.err;
    EXPECT_EQ(ElevatedStart::verb, L"runas");
    EXPECT_EQ(ElevatedStart::file, folder.wide(L"installer_x64.exe"));
    EXPECT_EQ(ElevatedStart::parameters, L"\"script.txt\"");
    EXPECT_EQ(ElevatedStart::directory, folder.wide());
    EXPECT_EQ(ElevatedStart::mask & SEE_MASK_NOCLOSEPROCESS, (ULONG)SEE_MASK_NOCLOSEPROCESS);
    // A start that fails shows no message box of the shell on the installing thread.
    EXPECT_EQ(ElevatedStart::mask & SEE_MASK_FLAG_NO_UI, (ULONG)SEE_MASK_FLAG_NO_UI);
    EXPECT_EQ(ElevatedStart::show, SW_HIDE);
}

struct RefusedStart {
    const char *name;
    DWORD error;
    udi_result result;
    const char *line;
};

class RefusedStarts : public InstallerDouble, public ::testing::WithParamInterface<RefusedStart> {};

TEST_P(RefusedStarts, GiveTheirResult)
{
    ElevatedStart::replace(GetParam().error, true);
    const Outcome run = install("connect\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, GetParam().result);
    EXPECT_TRUE(contains(run.out + run.err, GetParam().line)) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    InstallProtocol, RefusedStarts,
    ::testing::Values(
        RefusedStart{ "UserRefusesElevation", ERROR_CANCELLED, -14,
                      "libudi:info [install_driver_internal] Operation cancelled by the user or due to "
                      "missing data\n" },
        RefusedStart{ "FileNotFound", ERROR_FILE_NOT_FOUND, -5,
                      "libudi:info [install_driver_internal] Could not find installer executable\n" },
        RefusedStart{ "AccessDenied", ERROR_ACCESS_DENIED, -15,
                      "libudi:error [install_driver_internal] ShellExecuteEx failed: [#00000005] " }),
    [](const auto &tested) { return std::string(tested.param.name); });

BOOL WINAPI notAnAdministrator()
{
    return FALSE;
}

// A user who is no administrator starts the installer plainly.
TEST_F(InstallerDouble, StartsPlainlyForAUserWhoIsNoAdministrator)
{
    system_function_replace("Shell32", "IsUserAnAdmin", reinterpret_cast<system_function>(&notAnAdministrator));
    ElevatedStart::replace(ERROR_ACCESS_DENIED, true);  // must not be asked

    const Outcome run = install("connect\nask 2\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0) << run.err;
    EXPECT_TRUE(contains(run.seen, "arg script.txt\ncwd " + folder.utf8() + "\n")) << run.seen;
    EXPECT_TRUE(contains(run.seen, "reply 2 " + hexOf(deviceId))) << run.seen;
}

// With a parent window the conversation runs on the progress dialog's
// worker, which holds the lock, and its result is the dialog's.
TEST_F(InstallerDouble, RunsBehindTheProgressDialogOfAParentWindow)
{
    HWND parent = CreateWindowExA(0, "STATIC", "Kelvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    const udi_install_options withDialog = { parent, 0, 0 };

    const Outcome run = install("connect\nask 2\nsend 7 hex:FD\nsleep 300\nexit 0\n", &withDialog);

    EXPECT_EQ(run.result, -3) << run.err;
    EXPECT_TRUE(contains(run.err, "libudi:debug [udi_install_driver] Using progress bar mode\n"));
    EXPECT_TRUE(contains(run.seen, "reply 2 " + hexOf(deviceId))) << run.seen;
    EXPECT_TRUE(IsWindowEnabled(parent));
    EXPECT_FALSE(udi_test::lockExists("install_driver_internal"));
    DestroyWindow(parent);
}

// Whether a server end of the installer's pipe is there to connect to.
bool installerPipeExists()
{
    HANDLE client = CreateFileA("\\\\.\\pipe\\libudi-installer", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    CloseHandle(client);
    return true;
}

// A worker that never comes back from the administrator test, once it has
// taken the lock, the pipe and its event.
struct StuckWorker {
    static inline HANDLE arrived = nullptr;

    static BOOL WINAPI isUserAnAdmin()
    {
        SetEvent(arrived);
        Sleep(INFINITE);
        return TRUE;
    }
};

// The progress dialog owned by that window: other test programs show
// dialogs of the same class on the same desktop.
HWND progressDialogOf(HWND parent)
{
    HWND dialog = nullptr;
    while ((dialog = FindWindowExA(nullptr, dialog, "udi_progress_class", nullptr)) != nullptr) {
        if (GetWindow(dialog, GW_OWNER) == parent)
            return dialog;
    }
    return nullptr;
}

struct TimeLimitCase {
    const char *name;
    const char *script;
    bool stuck;               // the worker is held before it starts the installer
    const char *dialogsLine;  // the dialog's last word on the worker
};

class InstallerTimeLimit : public InstallerDouble, public ::testing::WithParamInterface<TimeLimitCase> {};

// The progress dialog's time limit, struck by hand (its clock would take
// five minutes) once the case's worker is where the case wants it. However
// the worker is ended, nothing of the installation stays: the next one runs.
TEST_P(InstallerTimeLimit, EndsTheInstallationAndTheNextOneRuns)
{
    const TimeLimitCase &c = GetParam();
    StuckWorker::arrived = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND parent = CreateWindowExA(0, "STATIC", "Kelvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    const std::function<bool()> ready = [&] {
        if (c.stuck)
            return WaitForSingleObject(StuckWorker::arrived, 0) == WAIT_OBJECT_0;
        return contains(udi_test::readFile(folder.wide(L"double.log")), "reply 2 ");
    };
    const udi_install_options withDialog = { parent, 0, 0 };
    // The first dialog of the process opens what the system then keeps open.
    ASSERT_EQ(install("connect\nsend 8\nclose\nexit 0\n", &withDialog).result, 0);
    if (c.stuck)
        system_function_replace("Shell32", "IsUserAnAdmin", reinterpret_cast<system_function>(&StuckWorker::isUserAnAdmin));
    const udi_test::OpenHandles before;

    std::atomic<bool> over{ false };
    std::thread clock([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 2000 && !over && (dialog == nullptr || !ready()); i++) {
            dialog = progressDialogOf(parent);
            Sleep(10);
        }
        for (int tick = 0; tick < 301 && !over && IsWindow(dialog); tick++)
            SendMessageA(dialog, WM_TIMER, 1, 0);
    });
    const Outcome run = install(c.script, &withDialog);
    over = true;
    clock.join();

    EXPECT_EQ(run.result, -7) << run.err;
    EXPECT_TRUE(contains(run.err, std::string("libudi:error [progress_callback] ") + c.dialogsLine + "\n")) << run.err;
    if (!c.stuck) {
        EXPECT_FALSE(contains(run.err, "KILLING THREAD")) << run.err;
    }
    EXPECT_TRUE(IsWindowEnabled(parent));
    EXPECT_TRUE(installerGone());
    EXPECT_FALSE(udi_test::lockExists("install_driver_internal"));
    EXPECT_FALSE(installerPipeExists());
    EXPECT_EQ(before.openedSince(), std::vector<std::wstring>{});
    DestroyWindow(parent);
    CloseHandle(StuckWorker::arrived);

    system_function_restore_all();
    const Outcome next = install("connect\nask 2\nsend 8\nclose\nexit 0\n");
    EXPECT_EQ(next.result, 0) << next.err;
    // Only a test can end an installer that a killed installation left.
    endInstallers();
}

INSTANTIATE_TEST_SUITE_P(
    InstallTimeLimit, InstallerTimeLimit,
    ::testing::Values(
        // Ending the installer ends the conversation: the worker comes back itself.
        TimeLimitCase{ "InstallerInALongStep", "connect\nask 2\nsend 5\nsleep 60000\nexit 0\n", false,
                       "progress timeout expired - stopping the worker" },
        // Nothing to end: the worker is killed and what it held is let go.
        TimeLimitCase{ "WorkerThatDoesNotComeBack", "connect\nsend 8\nclose\nexit 0\n", true,
                       "progress timeout expired - KILLING THREAD!" }),
    [](const auto &tested) { return std::string(tested.param.name); });

// The filter installer of the payload, started plainly, says what it was
// asked on its console, which the library reads from the pipe.
struct FilterCase {
    const char *name;
    const char *upperFilter;  // nullptr: none
    const char *action;
};

class FilterMode : public ::testing::TestWithParam<FilterCase> {
protected:
    void TearDown() override { system_function_restore_all(); }
};

TEST_P(FilterMode, LogsTheFilterInstallersConsoleLines)
{
    TempFolder package;
    ASSERT_EQ(extract_binaries(package.utf8().c_str()), 0);
    system_function_replace("Shell32", "IsUserAnAdmin", reinterpret_cast<system_function>(&notAnAdministrator));
    udi_device_node device = {};
    device.device_id = const_cast<char *>(deviceId);
    device.hardware_id = const_cast<char *>(hardwareId);
    device.first_upper_filter = const_cast<char *>(GetParam().upperFilter);
    const udi_install_options filter = { nullptr, 1, 0 };

    StreamCapture capture;
    const udi_result r = udi_install_driver(&device, package.utf8().c_str(), "deviceDrv.inf", &filter);
    capture.finish();

    EXPECT_EQ(r, 0) << capture.err();
    const std::string prefix = "libudi:info [install-filter] install-filter: ";
    EXPECT_TRUE(contains(capture.out(), prefix + "asked to " + GetParam().action
                                            + " the libusb-win32 filter for the device '" + hardwareId + "'\n"))
        << capture.out();
    EXPECT_TRUE(contains(capture.out(), prefix + "nothing was changed\n")) << capture.out();
}

INSTANTIATE_TEST_SUITE_P(
    InstallFilter, FilterMode,
    ::testing::Values(FilterCase{ "NoFilterYet", nullptr, "install" },
                      FilterCase{ "OtherFilter", "usbfilter", "install" },
                      FilterCase{ "FilterInAnyCase", "LibUsb0", "uninstall" }),
    [](const auto &tested) { return std::string(tested.param.name); });

// Elevated, the filter installer's console is its own: it still runs to its end.
TEST(InstallFilterElevated, RunsToTheFilterInstallersExitCode)
{
    TempFolder package;
    ASSERT_EQ(extract_binaries(package.utf8().c_str()), 0);
    udi_device_node device = {};
    device.hardware_id = const_cast<char *>(hardwareId);
    const udi_install_options filter = { nullptr, 1, 0 };

    EXPECT_EQ(udi_install_driver(&device, package.utf8().c_str(), "deviceDrv.inf", &filter), 0);
}

// The application's call, end to end: the package's real installer binds a
// fake device to the service of the package's INF.
TEST(RealInstaller, BindsTheDeviceToWinUsb)
{
    const wchar_t *const instance = L"USB\\VID_6E3C&PID_0222\\UDITEST_LIBRARY";
    udi_test::FakeUsbDevices devices;
    ASSERT_TRUE(devices.add({ instance, { L"USB\\VID_6E3C&PID_0222&REV_0100", L"USB\\VID_6E3C&PID_0222" }, {},
                              L"Kelvane DFU", L"", L"", L"" }));
    installer_test::DriverPackage package;
    ASSERT_TRUE(package.ready());
    package.writeInf(L"deviceDrv.inf", installer_test::winUsbInf("deviceDrv.inf", "VID_6E3C&PID_0222"));

    udi_device_node *head = nullptr;
    ASSERT_EQ(udi_create_list(&head, nullptr), 0);
    const udi_device_node *node = head;
    while (node != nullptr && strstr(node->device_id, "UDITEST_LIBRARY") == nullptr)
        node = node->next_device;
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->driver_service, nullptr);

    const udi_install_options zero = {};
    const udi_result r = udi_install_driver(node, udi_test::toUtf8(package.folder()).c_str(), "deviceDrv.inf", &zero);
    udi_destroy_list(head);
    EXPECT_EQ(r, 0);

    const udi_list_options withDriver = { 1, 0, 0 };
    head = nullptr;
    ASSERT_EQ(udi_create_list(&head, &withDriver), 0);
    std::string service;
    for (node = head; node != nullptr; node = node->next_device)
        if (strstr(node->device_id, "UDITEST_LIBRARY") != nullptr && node->driver_service != nullptr)
            service = node->driver_service;
    udi_destroy_list(head);
    EXPECT_EQ(service, "WinUSB");
}

// The 10-second waits, together so that they cost their time once.
class InstallerSilence : public InstallerDouble {};

TEST_F(InstallerSilence, LongStepWaitsBeyondTheTimeout)
{
    const Outcome run = install("connect\nsend 5\nsleep 11000\nsend 8\nclose\nexit 0\n");

    EXPECT_EQ(run.result, 0) << run.err;
    EXPECT_GE(run.seconds, 11.0);
    // The unbounded wait was that installer's, and went with it.
    EXPECT_EQ(installer_read_timeout_ms, 10000u);
}

TEST_F(InstallerSilence, SilenceAfterTheLongStepEndsTheInstaller)
{
    const Outcome run = install("connect\nsend 5\nsend 6\nsleep 30000\nexit 0\n");

    EXPECT_EQ(run.result, -7);
    EXPECT_GE(run.seconds, 9.9);
    EXPECT_LT(run.seconds, 14.0);
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] Installer failed to respond - aborting\n"));
    EXPECT_TRUE(installerGone());
}

// An installer that asked for a long step and died without ending it takes
// that wait with it: every wait of the next installation has its limit.
TEST_F(InstallerSilence, TheNextInstallationAfterAnUnfinishedLongStepWaitsItsLimit)
{
    struct Next {
        const char *name;
        const char *script;
        bool processHandle;
        const char *error;
    };
    const Next cases[] = {
        { "closes the pipe and runs on", "connect\nclose\nsleep 30000\nexit 0\n", true,
          "Installer did not end after closing the pipe - aborting\n" },
        { "says nothing more", "connect\nsleep 30000\nexit 0\n", true,
          "Installer failed to respond - aborting\n" },
        { "says nothing more, started without a process handle", "connect\nsleep 30000\nexit 0\n", false,
          "Installer failed to respond - aborting\n" },
    };
    for (const Next &next : cases) {
        SCOPED_TRACE(next.name);
        system_function_restore_all();
        EXPECT_EQ(install("connect\nsend 5\nsleep 200\nexit 3\n").result, -99);

        if (!next.processHandle)
            ElevatedStart::replace(0, false);
        const Outcome run = install(next.script);

        EXPECT_EQ(run.result, -7) << run.err;
        EXPECT_GE(run.seconds, 9.9);
        EXPECT_LT(run.seconds, 14.0);
        EXPECT_TRUE(contains(run.err, std::string("libudi:error [install_driver_internal] ") + next.error)) << run.err;
        // Without its handle the library cannot end it.
        if (!next.processHandle)
            endInstallers();
        EXPECT_TRUE(installerGone());
    }
}

TEST_F(InstallerSilence, EndsAnInstallerThatNeverConnects)
{
    const Outcome run = install("sleep 30000\n");

    EXPECT_EQ(run.result, -7);
    EXPECT_GE(run.seconds, 9.9);
    EXPECT_LT(run.seconds, 14.0);
    EXPECT_TRUE(contains(run.err, "libudi:error [install_driver_internal] Installer did not connect - aborting\n"));
    EXPECT_TRUE(installerGone());
}

// Closing the pipe and then running on is a hang, not the end of the work.
TEST_F(InstallerSilence, EndsAnInstallerThatClosedThePipeButRunsOn)
{
    const Outcome run = install("connect\nclose\nsleep 30000\nexit 0\n");

    EXPECT_EQ(run.result, -7);
    EXPECT_GE(run.seconds, 9.9);
    EXPECT_LT(run.seconds, 14.0);
    EXPECT_TRUE(contains(run.err, "Installer did not end after closing the pipe - aborting\n")) << run.err;
    EXPECT_TRUE(installerGone());
}

// A start that gives no process handle leaves only the pipe to go by.
TEST_F(InstallerSilence, StartWithoutProcessHandleDoesNotHang)
{
    ElevatedStart::replace(0, false);

    const Outcome finished = install("connect\nsend 8\nclose\nexit 0\n");
    EXPECT_EQ(finished.result, 0) << finished.err;
    EXPECT_TRUE(contains(finished.err, "No handle of the installer process - relying on the pipe alone\n"));

    const Outcome broken = install("connect\nclose\nexit 0\n");
    EXPECT_EQ(broken.result, -99);

    const Outcome silent = install("exit 0\n");
    EXPECT_EQ(silent.result, -7);
    EXPECT_LT(silent.seconds, 14.0);
}

// After any failed installation nothing of it stays open, and the next works.
TEST_F(InstallerSilence, EveryWayOutLetsGoOfWhatItTook)
{
    const udi_test::OpenHandles before;

    EXPECT_EQ(install("connect\nsend 9\nsleep 300\nexit 0\n").result, -5);
    EXPECT_EQ(install("connect\nsleep 30000\n").result, -7);
    EXPECT_EQ(install("connect\nsend 0 fill:66000\nexit 0\n").result, -5);
    EXPECT_EQ(install("connect\nclose\nexit 5\n").result, -99);
    ElevatedStart::replace(ERROR_CANCELLED, true);
    EXPECT_EQ(install("exit 0\n").result, -14);
    system_function_restore_all();
    ASSERT_TRUE(installerGone());

    EXPECT_EQ(before.openedSince(), std::vector<std::wstring>{});
    EXPECT_FALSE(udi_test::lockExists("install_driver_internal"));
    EXPECT_EQ(install("connect\nask 2\nsend 8\nclose\nexit 0\n").result, 0);
}

}  // namespace
