// The package's installer program, run as the library runs it, against a
// pipe server of the test's own and Wine's own device installation, on a
// fake device without a driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>
#include <setupapi.h>

#include "DriverPackage.h"
#include "InstallerRun.h"
#include "support/FakeUsbDevices.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/libudi.h"

using namespace installer_test;

namespace
{
    const wchar_t* const deviceInstance = L"USB\\VID_6E3C&PID_0222\\UDITEST_INSTALLER";
    const std::string deviceId = "USB\\VID_6E3C&PID_0222\\UDITEST_INSTALLER";
    const std::string hardwareId = "USB\\VID_6E3C&PID_0222";
    const std::wstring infName = L"deviceDrv.inf";

    const int exitFailed = 1;
    const int exitBadCommandLine = 2;
    const int exitNoLibrary = 3;

    // The device's driver service as SetupAPI reads it; empty when it has none.
    std::wstring serviceOf (const std::wstring& instanceId)
    {
        std::wstring service;
        HDEVINFO set = SetupDiCreateDeviceInfoList (nullptr, nullptr);
        SP_DEVINFO_DATA device = { sizeof (device) };
        wchar_t text[256] = {};
        if (SetupDiOpenDeviceInfoW (set, instanceId.c_str(), nullptr, 0, &device)
            && SetupDiGetDeviceRegistryPropertyW (set, &device, SPDRP_SERVICE, nullptr, (BYTE*) text,
                                                  sizeof (text) - sizeof (wchar_t), nullptr))
            service = text;
        SetupDiDestroyDeviceInfoList (set);
        return service;
    }

    size_t indexOf (const Outcome& run, int type, const std::string& payload = {})
    {
        for (size_t i = 0; i < run.messages.size(); ++i)
            if (run.messages[i].type == type && (payload.empty() || run.messages[i].payload == payload))
                return i;
        return std::string::npos;
    }

    // The end of every conversation that got past the connection.
    void expectEndsWithStatus (const Outcome& run, int status)
    {
        const std::vector<int> types = run.types();
        ASSERT_GE (types.size(), 2u);
        EXPECT_EQ (types[types.size() - 2], 7);
        EXPECT_EQ (types.back(), 8);
        EXPECT_EQ (run.status(), status);
    }

    class Installer : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE (package.ready());
            package.writeInf (infName, winUsbInf ("deviceDrv.inf", "VID_6E3C&PID_0222"));
            ASSERT_TRUE (devices.add ({ deviceInstance,
                                        { L"USB\\VID_6E3C&PID_0222&REV_0100", L"USB\\VID_6E3C&PID_0222" },
                                        {}, L"Kelvane DFU", L"", L"", L"" }));
            ASSERT_EQ (serviceOf (deviceInstance), L"");
        }

        udi_test::FakeUsbDevices devices;
        DriverPackage package;
    };
}

TEST_F (Installer, BindsTheDeviceToWinUsb)
{
    const Outcome run = runInstaller (package.folder(), infName, answering (deviceId, hardwareId));

    EXPECT_EQ (run.exitCode, 0) << run.progress();
    EXPECT_EQ (serviceOf (deviceInstance), L"WinUSB");

    const std::vector<int> types = run.types();
    ASSERT_GE (types.size(), 3u) << run.progress();
    EXPECT_EQ (std::vector<int> (types.begin(), types.begin() + 3), (std::vector<int> { 2, 3, 4 }));
    EXPECT_EQ (std::count (types.begin(), types.end(), 5), 1);
    EXPECT_EQ (std::count (types.begin(), types.end(), 6), 1);
    const size_t begins = indexOf (run, 5);
    const size_t installs = indexOf (run, 0, "Installing the device");
    const size_t ends = indexOf (run, 6);
    EXPECT_LT (begins, installs);
    EXPECT_LT (installs, ends) << run.progress();
    expectEndsWithStatus (run, 0);

    // What it was told, and what it found.
    const std::string progress = run.progress();
    EXPECT_NE (progress.find ("Device '" + deviceId + "', hardware id '" + hardwareId + "'"), std::string::npos)
        << progress;
    EXPECT_NE (progress.find ("The device now uses the service 'WinUSB'"), std::string::npos) << progress;
    EXPECT_EQ (std::count (types.begin(), types.end(), 9), 0) << "no warning on the good road";
}

TEST_F (Installer, WaitsForAPipeThatComesLate)
{
    Script script = answering (deviceId, hardwareId);
    script.pipeDelayMs = 2000;

    const Outcome run = runInstaller (package.folder(), infName, script);

    EXPECT_EQ (run.exitCode, 0) << run.progress();
    EXPECT_EQ (serviceOf (deviceInstance), L"WinUSB");
}

// Elevation may keep another working folder than the one asked for: an INF
// of the same name there, for another device, is not the package's.
TEST_F (Installer, TakesTheInfFromItsOwnFolder)
{
    DriverPackage elsewhere;
    elsewhere.writeInf (infName, winUsbInf ("deviceDrv.inf", "VID_6E3C&PID_0333"));
    Script script = answering (deviceId, hardwareId);
    script.workingFolder = elsewhere.folder();

    const Outcome run = runInstaller (package.folder(), infName, script);

    EXPECT_EQ (run.exitCode, 0) << run.progress();
    EXPECT_NE (run.progress().find ("Installing '" + udi_test::toUtf8 (package.path (infName)) + "'"),
               std::string::npos)
        << run.progress();
    EXPECT_EQ (serviceOf (deviceInstance), L"WinUSB");
}

namespace
{
    // How the system reports the device once the installation has run.
    struct DeviceLeft
    {
        const char* name;
        unsigned long problemCode;
        int exitCode;
        int status;
        const char* warning;
    };

    const DeviceLeft devicesLeft[] = {
        { "NotStarted", 10, exitFailed, -99, "The device reports the problem code 10" },
        { "FailedInstall", 28, exitFailed, -99, "The device reports the problem code 28" },
        { "WaitingForARestart", 14, 0, 0, "Windows must be restarted to finish the installation" },
    };

    class InstallerLeavesTheDevice : public Installer, public ::testing::WithParamInterface<DeviceLeft>
    {
    protected:
        void SetUp() override
        {
            Installer::SetUp();
            ASSERT_TRUE (devices.setProblem (deviceInstance, GetParam().problemCode));
        }
    };

    std::vector<std::string> warnings (const Outcome& run)
    {
        std::vector<std::string> texts;
        for (const auto& message : run.messages)
            if (message.type == 9)
                texts.push_back (message.payload);
        return texts;
    }
}

// A device that does not work is a failed installation; one that waits for a
// restart is installed. Either way the user is told.
TEST_P (InstallerLeavesTheDevice, EndsByItAndWarns)
{
    const DeviceLeft& left = GetParam();

    const Outcome run = runInstaller (package.folder(), infName, answering (deviceId, hardwareId));

    EXPECT_EQ (run.exitCode, left.exitCode) << run.progress();
    expectEndsWithStatus (run, left.status);
    EXPECT_EQ (warnings (run), std::vector<std::string> { left.warning }) << run.progress();
    EXPECT_LT (indexOf (run, 9), indexOf (run, 7));
}

// What the library makes of it: the result, and a line that shows with its
// default threshold.
TEST_P (InstallerLeavesTheDevice, TheLibraryLogsTheWarning)
{
    const DeviceLeft& left = GetParam();
    udi_device_node node = {};
    node.device_id = const_cast<char*> (deviceId.c_str());
    node.hardware_id = const_cast<char*> (hardwareId.c_str());
    const udi_install_options zero = {};

    udi_test::StreamCapture capture;
    const udi_result result = udi_install_driver (&node, udi_test::toUtf8 (package.folder()).c_str(),
                                                  "deviceDrv.inf", &zero);
    capture.finish();

    EXPECT_EQ (result, left.status) << capture.err();
    EXPECT_NE (capture.err().find (std::string ("libudi:warning [installer process] ") + left.warning),
               std::string::npos)
        << capture.err();
}

INSTANTIATE_TEST_SUITE_P (Installer, InstallerLeavesTheDevice, ::testing::ValuesIn (devicesLeft),
                          [] (const auto& row) { return std::string (row.param.name); });

namespace
{
    struct Failure
    {
        const char* name;
        std::string deviceIdReply;
        std::string hardwareIdReply;
        std::string userSidReply;
        const wchar_t* inf;
        const char* infMatches;    // the hardware id the INF is for
        bool copiesAFile;          // its install section copies a file of its own
        int status;
        const char* progress;      // a part of what it reports
    };

    const std::string sid = "S-1-5-21-1004336348-1177238915-682003330-1000";

    const Failure failures[] = {
        { "DeviceNotPresent", "USB\\VID_6E3C&PID_0222\\UDITEST_ABSENT", hardwareId, sid, L"deviceDrv.inf",
          "VID_6E3C&PID_0222", false, -4, "is not present" },
        { "NoDeviceId", noValue, hardwareId, sid, L"deviceDrv.inf", "VID_6E3C&PID_0222", false, -5,
          "knows no instance id" },
        { "InfMissing", deviceId, hardwareId, sid, L"missing.inf", "VID_6E3C&PID_0222", false, -3,
          "cannot be found" },
        { "InfForAnotherDevice", deviceId, hardwareId, sid, L"deviceDrv.inf", "VID_6E3C&PID_0333", false, -5,
          "holds no driver for this device" },
        // Replies that no library sends.
        { "DeviceIdLongerThanAnyId", std::string (300, 'A'), hardwareId, sid, L"deviceDrv.inf",
          "VID_6E3C&PID_0222", false, -2, "device instance id is too long" },
        { "DeviceIdJustTooLong", "USB\\" + std::string (197, 'A'), hardwareId, sid, L"deviceDrv.inf",
          "VID_6E3C&PID_0222", false, -2, "device instance id is too long" },
        { "DeviceIdWithAZeroByte", std::string ("USB\\VID_6E3C\0\\X", 15), hardwareId, sid, L"deviceDrv.inf",
          "VID_6E3C&PID_0222", false, -2, "device instance id is not one" },
        { "EmptyMessage", deviceId, "", sid, L"deviceDrv.inf", "VID_6E3C&PID_0222", false, -2,
          "hardware id is not one" },
        { "NotASid", deviceId, hardwareId, "S-1-5-x", L"deviceDrv.inf", "VID_6E3C&PID_0222", false, -2,
          "user's SID is not one" },
        // Wine copies such files itself and asks for ever for one it cannot find.
        { "WineWouldCopyFiles", deviceId, hardwareId, sid, L"deviceDrv.inf", "VID_6E3C&PID_0222", true, -99,
          "which nobody can answer here" },
    };

    std::string withCopiedFile (std::string inf, const std::string& file)
    {
        const std::string section = "[USB_Install]\r\n";
        inf.insert (inf.find (section) + section.size(), "CopyFiles = Test_CopyFiles\r\n");
        const std::string destinations = "CoInstallers_CopyFiles = 11\r\n";
        inf.insert (inf.find (destinations) + destinations.size(), "Test_CopyFiles = 11\r\n");
        return inf + "\r\n[Test_CopyFiles]\r\n" + file + "\r\n";
    }

    class InstallerFailure : public Installer, public ::testing::WithParamInterface<Failure> {};
}

TEST_P (InstallerFailure, EndsWithAStatusAndLeavesTheDevice)
{
    const Failure& failure = GetParam();
    const std::string inf = winUsbInf ("deviceDrv.inf", failure.infMatches);
    package.writeInf (infName, failure.copiesAFile ? withCopiedFile (inf, "winusbcoinstaller2.dll") : inf);
    Script script = answering (failure.deviceIdReply, failure.hardwareIdReply);
    script.userSidReply = failure.userSidReply;

    const Outcome run = runInstaller (package.folder(), failure.inf, script);

    EXPECT_EQ (run.exitCode, exitFailed) << run.progress();
    expectEndsWithStatus (run, failure.status);
    EXPECT_NE (run.progress().find (failure.progress), std::string::npos) << run.progress();
    EXPECT_EQ (serviceOf (deviceInstance), L"");
}

INSTANTIATE_TEST_SUITE_P (Failures, InstallerFailure, ::testing::ValuesIn (failures),
                          [] (const auto& row) { return std::string (row.param.name); });

namespace
{
    // The system's own log of device installations in the prefix, put back
    // as it was when the test ends.
    class SystemSetupLog
    {
    public:
        SystemSetupLog()
        {
            wchar_t windows[MAX_PATH];
            GetWindowsDirectoryW (windows, MAX_PATH);
            path = std::wstring (windows) + L"\\inf\\setupapi.dev.log";
            existed = udi_test::isFile (path);
            before = udi_test::readFile (path);
        }

        ~SystemSetupLog()
        {
            if (existed)
                udi_test::writeFile (path, before);
            else
                DeleteFileW (path.c_str());
        }

        void append (const std::string& text)
        {
            udi_test::writeFile (path, udi_test::readFile (path) + text);
        }

    private:
        std::wstring path;
        bool existed = false;
        std::string before;
    };
}

TEST_F (Installer, SendsWhatTheInstallationAddedToTheSystemSetupLog)
{
    SystemSetupLog log;
    log.append (">>>  [Device Install - an earlier one]\r\n");
    Script script = answering (deviceId, hardwareId);
    script.onMessage = [&log] (const Message& message)
    {
        if (message.type == 5)
            log.append (">>>  [Device Install]\r\n\r\n\tdvi:  Selected\tdriver  \r\n<<<  [Exit status: SUCCESS]");
    };

    const Outcome run = runInstaller (package.folder(), infName, script);

    EXPECT_EQ (run.exitCode, 0) << run.progress();
    std::vector<std::string> lines;
    for (const auto& message : run.messages)
        if (message.type == 1)
            lines.push_back (message.payload);
    EXPECT_EQ (lines, (std::vector<std::string> { ">>>  [Device Install]", "dvi:  Selected driver",
                                                  "<<<  [Exit status: SUCCESS]" }));
    EXPECT_LT (indexOf (run, 1), indexOf (run, 7));
}

namespace
{
    struct PipeFault
    {
        const char* name;
        int closeAtType;
        bool answerNothing;
    };

    const PipeFault pipeFaults[] = {
        { "ClosedAtTheSecondRequest", 3, false },
        { "SilentAfterARequest", -1, true },
    };

    class InstallerPipeFault : public Installer, public ::testing::WithParamInterface<PipeFault> {};
}

TEST_P (InstallerPipeFault, EndsWithoutInstalling)
{
    Script script = answering (deviceId, hardwareId);
    script.closeAtType = GetParam().closeAtType;
    script.answerNothing = GetParam().answerNothing;

    const Outcome run = runInstaller (package.folder(), infName, script);

    EXPECT_EQ (run.exitCode, exitNoLibrary) << run.progress();
    EXPECT_LT (run.seconds, 20.0);
    EXPECT_EQ (indexOf (run, 5), std::string::npos);
    EXPECT_EQ (serviceOf (deviceInstance), L"");
}

INSTANTIATE_TEST_SUITE_P (PipeFaults, InstallerPipeFault, ::testing::ValuesIn (pipeFaults),
                          [] (const auto& row) { return std::string (row.param.name); });

TEST (InstallerAlone, GivesUpWhenNoPipeComes)
{
    DriverPackage package;
    ASSERT_TRUE (package.ready());

    const Outcome run = runInstallerAlone (package.folder(), L"\"deviceDrv.inf\"");

    EXPECT_EQ (run.exitCode, exitNoLibrary);
    EXPECT_GE (run.seconds, 5.0) << "it gives the pipe a while to come";
    EXPECT_LT (run.seconds, 20.0);
}

TEST (InstallerAlone, TakesExactlyOneArgument)
{
    DriverPackage package;
    ASSERT_TRUE (package.ready());

    for (const wchar_t* parameters : { L"", L"\"\"", L"a.inf b.inf" })
    {
        const Outcome run = runInstallerAlone (package.folder(), parameters);
        EXPECT_EQ (run.exitCode, exitBadCommandLine) << udi_test::toUtf8 (parameters);
        EXPECT_LT (run.seconds, 5.0);
    }
}
