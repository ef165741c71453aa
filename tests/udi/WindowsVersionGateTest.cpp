// The version gate over the real detection: Wine reports the Windows version
// that its per-program setting names, so a copy of the probe under a name of
// its own is run as Vista and as XP.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/ChildProcess.h"
#include "support/FakeUsbDevices.h"
#include "udi/libudi.h"

using udi_test::FakeUsbDevices;
using udi_test::runProbe;

namespace {

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

}  // namespace
