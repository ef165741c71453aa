#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>
#include <windows.h>

#include "support/ChildProcess.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/StreamCapture.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevices;
using udi_test::HeldLock;
using udi_test::lockExists;
using udi_test::runProbe;
using udi_test::StreamCapture;

namespace {

const char *const operation = "udi_test_frame";

TEST(OperationFrame, ASecondEntryWhileTheLockExistsIsRefusedAtOnce)
{
    operation_frame first, second;
    ASSERT_EQ(enter_operation(&first, operation, 0), UDI_OK);
    EXPECT_TRUE(lockExists(operation));

    EXPECT_EQ(enter_operation(&second, operation, 0), UDI_ERR_IN_USE);
    EXPECT_EQ(second.lock, nullptr);

    // Another thread of the process fares no better: nothing waits.
    auto fromThread = std::async(std::launch::async, [] {
        operation_frame frame;
        const DWORD start = GetTickCount();
        const udi_result r = enter_operation(&frame, operation, 0);
        return std::make_pair(r, GetTickCount() - start);
    }).get();
    EXPECT_EQ(fromThread.first, UDI_ERR_IN_USE);
    EXPECT_LT(fromThread.second, 1000u);

    // Other operations are not held up.
    operation_frame other;
    ASSERT_EQ(enter_operation(&other, "udi_test_frame_other", 0), UDI_OK);
    leave_operation(&other);

    leave_operation(&first);
    EXPECT_FALSE(lockExists(operation));
    ASSERT_EQ(enter_operation(&second, operation, 0), UDI_OK);
    leave_operation(&second);
    leave_operation(&second);
}

TEST(OperationFrame, ALockOfAnotherProcessRefusesToo)
{
    HeldLock held(L"udi_test_frame_child");
    ASSERT_TRUE(held.held());

    operation_frame frame;
    EXPECT_EQ(enter_operation(&frame, "udi_test_frame_child", 0), UDI_ERR_IN_USE);
    EXPECT_EQ(held.release(), 0);

    ASSERT_EQ(enter_operation(&frame, "udi_test_frame_child", 0), UDI_OK);
    leave_operation(&frame);
}

TEST(OperationFrame, ALockNameTakenByAnotherKindOfObjectIsOutOfResources)
{
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "Global\\udi_test_frame_squatted");
    ASSERT_NE(squatter, nullptr);

    operation_frame frame;
    EXPECT_EQ(enter_operation(&frame, "udi_test_frame_squatted", 0), UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_EQ(frame.lock, nullptr);
    CloseHandle(squatter);

    ASSERT_EQ(enter_operation(&frame, "udi_test_frame_squatted", 0), UDI_OK);
    leave_operation(&frame);
}

// Apart from the suite above: the suites run side by side.
const char *const gatedOperation = "udi_test_gate";

// The version as the kernel tells it, which no compatibility setting caps.
int runningVersionCode()
{
    using GetVersionFunction = LONG(WINAPI *)(OSVERSIONINFOW *);
    auto getVersion = reinterpret_cast<GetVersionFunction>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion")));
    OSVERSIONINFOW version = { sizeof(version) };
    if (getVersion == nullptr || getVersion(&version) != 0)
        return -1;
    return static_cast<int>(version.dwMajorVersion * 16 + version.dwMinorVersion);
}

class VersionGateFrame : public testing::Test {
protected:
    void TearDown() override { windows_version_code = -1; }
};

TEST_F(VersionGateFrame, RefusesWindowsOlderThanSevenWithALogLineAndLeavesNoLock)
{
    operation_frame frame;
    for (int tooOld : { 0x60, 0 }) {
        windows_version_code = tooOld;
        StreamCapture capture;
        EXPECT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_ERR_WINDOWS_TOO_OLD);
        capture.finish();
        EXPECT_EQ(capture.err(), "libudi:error [udi_test_gate] This version of Windows is no "
                                 "longer supported\n");
        EXPECT_FALSE(lockExists(gatedOperation));
    }

    // Operations without the gate do not care.
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 0), UDI_OK);
    leave_operation(&frame);

    windows_version_code = 0x61;
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_OK);
    leave_operation(&frame);
}

TEST_F(VersionGateFrame, DetectsTheVersionOnlyWhileItIsUnknown)
{
    operation_frame frame;
    windows_version_code = -1;
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_OK);
    leave_operation(&frame);
    const int running = runningVersionCode();
    ASSERT_GE(running, 0x61);
    EXPECT_EQ(windows_version_code, running);

    // Known now: the gate does not ask again.
    windows_version_code = 0x62;
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_OK);
    leave_operation(&frame);
    EXPECT_EQ(windows_version_code, 0x62);

    detect_windows_version();
    EXPECT_EQ(windows_version_code, running);
}

// The version gate over the real detection: Wine reports the Windows version
// that its per-program setting names, so a copy of the probe under a name of
// its own is run as Vista and as XP.
const wchar_t *const oldProbe = L"udi_probe_old_windows.exe";
const wchar_t *const settingKey = L"Software\\Wine\\AppDefaults\\udi_probe_old_windows.exe";

class WindowsVersionGate : public testing::TestWithParam<const wchar_t *> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.add({ L"USB\\VID_6E3C&PID_0222\\UDITEST41", { L"USB\\VID_6E3C&PID_0222" },
                               {}, L"Kelvane DFU", L"", L"", L"" }));
        const std::wstring version = GetParam();
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, settingKey, L"Version", REG_SZ, version.c_str(),
                                  static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, settingKey); }

    FakeUsbDevices tree;
};

TEST_P(WindowsVersionGate, RefusesTheListingWithItsLogLine)
{
    std::string errors;
    EXPECT_EQ(runProbe({ L"list" }, oldProbe, &errors), UDI_ERR_WINDOWS_TOO_OLD);
    // Standard error of a child on a pipe is in text mode: CR LF.
    EXPECT_NE(errors.find("libudi:error [udi_create_list] This version of Windows is no longer "
                          "supported\r\n"), std::string::npos) << errors;

    // The same program under its usual name lists the device.
    EXPECT_EQ(runProbe({ L"list" }), UDI_OK);
}

INSTANTIATE_TEST_SUITE_P(OldWindows, WindowsVersionGate, testing::Values(L"vista", L"winxp64"));

void fakeFunction() {}

class SystemBinding : public testing::Test {
protected:
    void TearDown() override { system_function_restore_all(); }
};

TEST_F(SystemBinding, FindsASystemFunctionByName)
{
    system_module cfgmgr;
    ASSERT_TRUE(system_module_open(&cfgmgr, "Cfgmgr32"));
    const system_function function = system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller");
    EXPECT_NE(function, nullptr);
    EXPECT_EQ(reinterpret_cast<void *>(function),
              reinterpret_cast<void *>(GetProcAddress(cfgmgr.handle, "CM_Get_Device_IDA")));
    system_module_close(&cfgmgr);
    system_module_close(&cfgmgr);
    EXPECT_EQ(cfgmgr.handle, nullptr);
}

TEST_F(SystemBinding, LogsAFunctionOrModuleThatIsMissing)
{
    system_module cfgmgr, missing;
    system_module_open(&cfgmgr, "Cfgmgr32");
    EXPECT_FALSE(system_module_open(&missing, "udi_no_such_module"));

    StreamCapture capture;
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_No_Such_Function", "udi_create_list"), nullptr);
    EXPECT_EQ(system_module_function(&missing, "SignerSignEx", "SelfSignFile"), nullptr);
    capture.finish();
    system_module_close(&cfgmgr);
    system_module_close(&missing);

    EXPECT_EQ(capture.err(),
              "libudi:error [udi_create_list] Unable to locate CM_No_Such_Function() in Cfgmgr32\n\n"
              "libudi:error [SelfSignFile] Unable to locate SignerSignEx() in udi_no_such_module\n\n");
}

TEST_F(SystemBinding, TestsCanReplaceOrHideAFunction)
{
    system_module cfgmgr;
    system_module_open(&cfgmgr, "Cfgmgr32");
    const system_function real = system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller");

    // Module names compare as Windows compares them: without case.
    system_function_replace("cfgmgr32", "CM_Get_Device_IDA", fakeFunction);
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller"), fakeFunction);
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDW", "caller"),
              reinterpret_cast<system_function>(GetProcAddress(cfgmgr.handle, "CM_Get_Device_IDW")));

    StreamCapture capture;
    system_function_hide("Cfgmgr32", "CM_Get_Device_IDA");
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller"), nullptr);
    capture.finish();
    EXPECT_NE(capture.err().find("Unable to locate CM_Get_Device_IDA() in Cfgmgr32"),
              std::string::npos);

    system_function_restore_all();
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller"), real);
    system_module_close(&cfgmgr);
}

std::vector<std::string> observed;

void observeLookup(const char *module, const char *function, const char *caller)
{
    observed.push_back(std::string(module) + "!" + function + " for " + caller);
}

TEST_F(SystemBinding, AnObserverSeesEveryLookupUntilRestored)
{
    system_module cfgmgr;
    system_module_open(&cfgmgr, "Cfgmgr32");
    observed.clear();
    system_function_observe(observeLookup);
    system_function_hide("Cfgmgr32", "CM_Get_Device_IDA");

    StreamCapture capture;
    system_module_function(&cfgmgr, "CM_Get_Device_IDA", "udi_create_list");
    system_module_function(&cfgmgr, "CM_Get_Device_IDW", "caller");
    capture.finish();
    // Hidden or not, each lookup is told, in its order.
    EXPECT_EQ(observed, (std::vector<std::string>{ "Cfgmgr32!CM_Get_Device_IDA for udi_create_list",
                                                   "Cfgmgr32!CM_Get_Device_IDW for caller" }));

    system_function_restore_all();
    system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller");
    EXPECT_EQ(observed.size(), 2u);
    system_module_close(&cfgmgr);
}

// Shell32's administrator test has no exported name on Windows, only its ordinal.
TEST_F(SystemBinding, FindsAFunctionByOrdinalAndReplacesItByName)
{
    system_module shell32;
    ASSERT_TRUE(system_module_open(&shell32, "Shell32"));
    const system_function real = system_module_ordinal(&shell32, 680, "IsUserAnAdmin", "caller");
    EXPECT_NE(real, nullptr);
    EXPECT_EQ(reinterpret_cast<void *>(real),
              reinterpret_cast<void *>(GetProcAddress(shell32.handle, MAKEINTRESOURCEA(680))));

    system_function_replace("Shell32", "IsUserAnAdmin", fakeFunction);
    EXPECT_EQ(system_module_ordinal(&shell32, 680, "IsUserAnAdmin", "caller"), fakeFunction);
    system_function_restore_all();

    StreamCapture capture;
    EXPECT_EQ(system_module_ordinal(&shell32, 65000, "NoSuchExport", "udi_prepare_driver"), nullptr);
    EXPECT_EQ(system_module_ordinal(&shell32, 0x10000, "IsUserAnAdmin", "udi_prepare_driver"),
              nullptr);
    capture.finish();
    system_module_close(&shell32);
    EXPECT_EQ(capture.err(),
              "libudi:error [udi_prepare_driver] Unable to locate NoSuchExport() in Shell32\n\n");
}

}  // namespace
