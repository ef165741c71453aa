// The driver check and installation of the app against libudi's real
// listing, over a device tree that the tests fill with USB devices of their
// own.
#include "app/MainComponent.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/MessageLoop.h"
#include "tools/UsbDriver.h"
#include "udi/internal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

using udi_test::FakeUsbDevice;
using udi_test::FakeUsbDevices;

namespace
{
    FakeUsbDevice device (const wchar_t* ids, const wchar_t* suffix, const wchar_t* service)
    {
        const std::wstring hardwareId = std::wstring (L"USB\\") + ids;
        return { hardwareId + L"\\UDITESTAPP" + suffix, { hardwareId }, {}, L"Test Device", L"", service, L"" };
    }

    // Holds the state that runs one task and keeps the event it posts.
    class TaskRecorder : public State
    {
    public:
        TaskRecorder (MainComponent* ownerComponent, std::function<std::function<void()> (MainComponent*)> makeTask,
                      std::optional<bool>& resultToSet)
            : State (ownerComponent), make (std::move (makeTask)), result (resultToSet)
        {
        }

        std::unique_ptr<State> clone() override { return std::make_unique<TaskRecorder> (*this); }
        void enter() const override { owner->pushTask (make (owner)); }

        std::unique_ptr<State> handle (const Event& event) override
        {
            if (auto* finished = dynamic_cast<const TaskFinished*> (&event))
                result = finished->success;
            return nullptr;
        }

        std::function<std::function<void()> (MainComponent*)> make;
        std::optional<bool>& result;
    };

    struct TaskRun
    {
        std::optional<bool> result;
        double ms = 0;
    };

    TaskRun runTask (std::function<std::function<void()> (MainComponent*)> makeTask)
    {
        TaskRun run;
        const auto start = std::chrono::steady_clock::now();
        MainComponent engine ([&] (MainComponent* owner) {
            return std::make_unique<TaskRecorder> (owner, makeTask, run.result);
        });
        EXPECT_TRUE (testsupport::pumpUntil ([&] { return run.result.has_value(); }, 20000));
        run.ms = std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count();
        return run;
    }

    juce::File packageInf()
    {
        return driverDir().getChildFile ("deviceDrv.inf");
    }

    // The driver service of each listed node of the test's own, by the
    // suffix of its instance id; "" for none.
    std::map<std::string, std::string> servicesBySuffix()
    {
        std::map<std::string, std::string> services;
        const auto devices = listUsbDevices();

        for (auto* node = devices.get(); node != nullptr; node = node->next_device)
        {
            const std::string id = node->device_id != nullptr ? node->device_id : "";
            const auto mark = id.find ("UDITESTAPP");

            if (mark != std::string::npos)
                services[id.substr (mark + 10)] = node->driver_service != nullptr ? node->driver_service : "";
        }

        return services;
    }

    // Answers the library's question whether other device installations are
    // still pending, as the system would: each call takes the next answer.
    struct PendingInstallations
    {
        static inline std::vector<DWORD> answers;
        static inline std::vector<DWORD> waits;

        static DWORD WINAPI wait (DWORD milliseconds)
        {
            waits.push_back (milliseconds);
            const auto answer = waits.size() <= answers.size() ? answers[waits.size() - 1] : WAIT_OBJECT_0;
            return answer;
        }

        static void replace (std::vector<DWORD> toGive)
        {
            answers = std::move (toGive);
            waits.clear();
            system_function_replace ("SetupAPI", "CMP_WaitNoPendingInstallEvents",
                                     reinterpret_cast<system_function> (&wait));
        }
    };
}

class UsbDriverCheck : public testing::Test
{
protected:
    void SetUp() override
    {
        FakeUsbDevices::removeAll();
        ASSERT_EQ (FakeUsbDevices::foreignDeviceCount(), 0) << "the tests need a device tree of their own";
        packageInf().deleteFile();
    }

    void TearDown() override { FakeUsbDevices::removeAll(); }
};

TEST_F (UsbDriverCheck, OnlyTheDeviceOnExactlyWinUsbHasTheDriverItNeeds)
{
    struct Row
    {
        const wchar_t* ids;
        const wchar_t* service; // empty: none
        bool needsDriver;
    };

    const Row rows[] = {
        { L"VID_6E3C&PID_0222", L"", true },
        { L"VID_6E3C&PID_0222", L"winusb", true },
        { L"VID_6E3C&PID_0222", L"WINUSB", true },
        { L"VID_6E3C&PID_0222", L"WinUSB2", true },
        { L"VID_6E3C&PID_0222", L"libusb0", true },
        { L"VID_6E3C&PID_0222", L"WinUSB", false },
        { L"VID_6E3C&PID_0223", L"", false },
        { L"VID_6E3D&PID_0222", L"", false },
    };

    FakeUsbDevices tree;
    for (size_t i = 0; i < std::size (rows); ++i)
        ASSERT_TRUE (tree.add (device (rows[i].ids, std::to_wstring (i).c_str(), rows[i].service)));

    // Listed with the devices that have a driver: every row is there.
    const auto devices = listUsbDevices();
    size_t listed = 0;

    for (auto* node = devices.get(); node != nullptr; node = node->next_device)
    {
        const std::string id = node->device_id != nullptr ? node->device_id : "";
        const auto mark = id.find ("UDITESTAPP");
        ASSERT_NE (mark, std::string::npos) << id;

        const auto row = std::stoul (id.substr (mark + 10));
        ASSERT_LT (row, std::size (rows));
        EXPECT_EQ (needsWinUsbDriver (*node), rows[row].needsDriver) << id;
        ++listed;
    }

    EXPECT_EQ (listed, std::size (rows));
}

TEST_F (UsbDriverCheck, OneDeviceThatNeedsTheDriverAmongOthersFailsTheCheck)
{
    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"WinUSB")));
    ASSERT_TRUE (tree.add (device (L"VID_1209&PID_0001", L"2", L"")));
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"3", L"")));

    EXPECT_FALSE (isWinUsbDriverInstalled());
}

TEST_F (UsbDriverCheck, TheCheckTaskReportsSuccessWithoutADeviceAfterItsPause)
{
    const auto run = runTask (makeUsbDriverCheckTask);
    EXPECT_TRUE (run.result == std::optional<bool> (true));
    EXPECT_GE (run.ms, 2048.0);
    EXPECT_LT (run.ms, 6000.0);
}

TEST_F (UsbDriverCheck, AListingHeldElsewhereCountsAsInstalled)
{
    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"")));
    const udi_test::HeldLock listing (L"udi_create_list");
    ASSERT_TRUE (listing.held());

    EXPECT_EQ (listUsbDevices().get(), nullptr);
    EXPECT_TRUE (isWinUsbDriverInstalled());

    // The installation cannot list either: it fails.
    EXPECT_FALSE (installWinUsbDriver());
    EXPECT_FALSE (packageInf().exists());
}

TEST_F (UsbDriverCheck, WithoutANodeThatNeedsTheDriverTheInstallationFailsAndWritesNothing)
{
    // No device at all, then the device already on WinUSB.
    EXPECT_TRUE (runTask (makeUsbDriverInstallTask).result == std::optional<bool> (false));

    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"WinUSB")));
    EXPECT_TRUE (isWinUsbDriverInstalled());
    EXPECT_FALSE (installWinUsbDriver());
    EXPECT_FALSE (packageInf().exists()) << "nothing was prepared";
}

TEST_F (UsbDriverCheck, ThePackageFolderIsTheExecutablesWithoutATrailingSeparator)
{
    const auto exeFolder = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
    EXPECT_EQ (driverDir(), exeFolder);
    EXPECT_FALSE (driverDir().getFullPathName().endsWithChar ('\\'));
    EXPECT_TRUE (driverDir().getFullPathName().contains (" ")) << "the tests run from a folder with a blank";
}

// The installation for real: the library writes the package beside the
// executable and its installer program binds the device over the pipe.
class UsbDriverInstall : public UsbDriverCheck
{
protected:
    void TearDown() override
    {
        system_function_restore_all();
        UsbDriverCheck::TearDown();
    }
};

TEST_F (UsbDriverInstall, TheTasksFindTheDeviceWithoutADriverAndBindItToWinUsb)
{
    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"")));
    ASSERT_TRUE (tree.add (device (L"VID_1209&PID_0001", L"2", L"")));

    EXPECT_TRUE (runTask (makeUsbDriverCheckTask).result == std::optional<bool> (false));
    EXPECT_TRUE (runTask (makeUsbDriverInstallTask).result == std::optional<bool> (true));

    EXPECT_TRUE (packageInf().existsAsFile());
    EXPECT_TRUE (driverDir().getChildFile ("installer_x64.exe").existsAsFile());
    const auto services = servicesBySuffix();
    EXPECT_EQ (services.at ("1"), "WinUSB");
    EXPECT_EQ (services.at ("2"), "") << "another device is left alone";
    EXPECT_TRUE (runTask (makeUsbDriverCheckTask).result == std::optional<bool> (true));
}

TEST_F (UsbDriverInstall, TheFirstFailureEndsTheWalkAndWhatWasInstalledStays)
{
    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"")));
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"2", L"libusb0")));

    // List order decides which node is installed first.
    std::vector<std::string> order;
    {
        const auto devices = listUsbDevices();
        for (auto* node = devices.get(); node != nullptr; node = node->next_device)
            if (const std::string id = node->device_id; id.find ("UDITESTAPP") != std::string::npos)
                order.push_back (id.substr (id.find ("UDITESTAPP") + 10));
    }
    ASSERT_EQ (order.size(), 2u);

    // The second installation finds another one still pending.
    PendingInstallations::replace ({ WAIT_OBJECT_0, WAIT_TIMEOUT });
    EXPECT_FALSE (installWinUsbDriver());
    EXPECT_EQ (PendingInstallations::waits, (std::vector<DWORD> { 0, 0 })) << "the wait is never longer than none";

    const auto services = servicesBySuffix();
    EXPECT_EQ (services.at (order[0]), "WinUSB");
    EXPECT_EQ (services.at (order[1]), order[1] == "2" ? "libusb0" : "");
    EXPECT_FALSE (isWinUsbDriverInstalled());
}

TEST_F (UsbDriverInstall, AnInstallationPendingElsewhereFailsItAtOnce)
{
    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"")));
    PendingInstallations::replace ({ WAIT_TIMEOUT });

    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE (runTask (makeUsbDriverInstallTask).result == std::optional<bool> (false));
    EXPECT_LT (std::chrono::steady_clock::now() - started, std::chrono::seconds (5));
    EXPECT_EQ (PendingInstallations::waits, std::vector<DWORD> { 0 });
    EXPECT_EQ (servicesBySuffix().at ("1"), "");
}

TEST (UsbDeviceList, TheOwnerMovesItsListAndLeavesNoneBehind)
{
    FakeUsbDevices::removeAll();
    FakeUsbDevices tree;
    ASSERT_TRUE (tree.add (device (L"VID_6E3C&PID_0222", L"1", L"")));

    auto first = listUsbDevices();
    auto* head = first.get();
    ASSERT_NE (head, nullptr);

    DeviceList second (std::move (first));
    EXPECT_EQ (first.get(), nullptr);
    EXPECT_EQ (second.get(), head);

    DeviceList third;
    EXPECT_EQ (third.get(), nullptr);
    third = std::move (second);
    EXPECT_EQ (second.get(), nullptr);
    EXPECT_EQ (third.get(), head);

    third = DeviceList();
    EXPECT_EQ (third.get(), nullptr);
}
