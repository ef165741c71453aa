// The driver check and installation of the app against libudi's real
// listing, over a device tree that the tests fill with USB devices of their
// own.
#include "app/MainComponent.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/MessageLoop.h"
#include "tools/UsbDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <optional>
#include <string>

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
