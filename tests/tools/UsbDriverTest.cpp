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
#include <deque>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using udi_test::FakeUsbDevice;
using udi_test::FakeUsbDevices;

// The program's calls of udi_create_list and udi_destroy_list reach here
// first (the link wraps both: see CMakeLists.txt). Every list handed out and
// every list freed is recorded; a test may have the listings hand out copies
// of a list of its own instead of asking the library.
namespace
{
namespace listing
{
    // Copies of the test's nodes, linked, one per listing; kept until reset()
    // so that no two lists share an address.
    std::deque<std::vector<udi_device_node>> handedOut;
    std::optional<std::vector<udi_device_node>> fixedNodes;

    std::set<udi_device_node*> live; // made and not yet freed
    std::vector<udi_device_node*> freed;
    std::vector<std::string> faults;

    // From now on each listing hands out a fresh copy of these nodes, or, for
    // none, fails as the library does when no device is present.
    void handOut (std::vector<udi_device_node> nodes) { fixedNodes = std::move (nodes); }

    void reset()
    {
        fixedNodes.reset();
        live.clear();
        freed.clear();
        faults.clear();
        handedOut.clear();
    }

    bool isFixed (const udi_device_node* head)
    {
        for (const auto& copy : handedOut)
            if (! copy.empty() && head == &copy.front())
                return true;

        return false;
    }

    testing::AssertionResult everyListFreedOnce()
    {
        if (faults.empty() && live.empty())
            return testing::AssertionSuccess();

        auto failure = testing::AssertionFailure();
        for (const auto& fault : faults)
            failure << fault << "; ";
        return failure << live.size() << " list(s) never freed";
    }
}
}

extern "C" udi_result libraryCreateList (udi_device_node**, const udi_list_options*) asm ("__real_udi_create_list");
extern "C" udi_result libraryDestroyList (udi_device_node*) asm ("__real_udi_destroy_list");
extern "C" udi_result recordedCreateList (udi_device_node**, const udi_list_options*) asm ("__wrap_udi_create_list");
extern "C" udi_result recordedDestroyList (udi_device_node*) asm ("__wrap_udi_destroy_list");

extern "C" udi_result recordedCreateList (udi_device_node** head, const udi_list_options* options)
{
    udi_result result = UDI_ERR_DEVICE_LIST_EMPTY;

    if (! listing::fixedNodes.has_value())
    {
        result = libraryCreateList (head, options);
    }
    else if (listing::fixedNodes->empty())
    {
        *head = nullptr;
    }
    else
    {
        auto& copy = listing::handedOut.emplace_back (*listing::fixedNodes);
        for (size_t i = 0; i < copy.size(); ++i)
            copy[i].next_device = i + 1 < copy.size() ? &copy[i + 1] : nullptr;
        *head = &copy.front();
        result = UDI_OK;
    }

    if (result == UDI_OK && ! listing::live.insert (*head).second)
        listing::faults.push_back ("a list was handed out twice");

    return result;
}

extern "C" udi_result recordedDestroyList (udi_device_node* head)
{
    if (head == nullptr)
        return libraryDestroyList (head);

    listing::freed.push_back (head);

    // A list freed twice, or never made, is recorded and kept from the heap.
    if (listing::live.erase (head) == 0)
    {
        listing::faults.push_back ("a list was freed that was not live: freed twice, or never made");
        return UDI_OK;
    }

    return listing::isFixed (head) ? UDI_OK : libraryDestroyList (head);
}

namespace
{
    FakeUsbDevice device (const wchar_t* ids, const wchar_t* suffix, const wchar_t* service)
    {
        const std::wstring hardwareId = std::wstring (L"USB\\") + ids;
        return { hardwareId + L"\\UDITESTAPP" + suffix, { hardwareId }, {}, L"Test Device", L"", service, L"" };
    }

    // A node of a list of the test's own: only what the program reads.
    udi_device_node node (uint16_t vendor, uint16_t product, const char* service)
    {
        udi_device_node made {};
        made.vendor_id = vendor;
        made.product_id = product;
        made.driver_service = const_cast<char*> (service);
        return made;
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
        listing::reset();
        FakeUsbDevices::removeAll();
        ASSERT_EQ (FakeUsbDevices::foreignDeviceCount(), 0) << "the tests need a device tree of their own";
        packageInf().deleteFile();
    }

    void TearDown() override
    {
        // Whatever the test did, each list that the program made is freed,
        // once.
        EXPECT_TRUE (listing::everyListFreedOnce());
        listing::reset();
        FakeUsbDevices::removeAll();
    }
};

TEST_F (UsbDriverCheck, OnlyTheDeviceOnExactlyWinUsbHasTheDriverItNeeds)
{
    struct Row
    {
        uint16_t vendor;
        uint16_t product;
        const char* service; // null: none
        bool needsDriver;
    };

    const Row rows[] = {
        { 0x6e3c, 0x0222, nullptr, true },   { 0x6e3c, 0x0222, "", true },
        { 0x6e3c, 0x0222, "winusb", true },  { 0x6e3c, 0x0222, "WINUSB", true },
        { 0x6e3c, 0x0222, "WinUSB2", true }, { 0x6e3c, 0x0222, "WinUS", true },
        { 0x6e3c, 0x0222, "libusb0", true }, { 0x6e3c, 0x0222, "WinUSB", false },
        { 0x6e3c, 0x0223, nullptr, false },  { 0x6e3d, 0x0222, nullptr, false },
        { 0x0222, 0x6e3c, nullptr, false },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (juce::String::toHexString (row.vendor) + ":" + juce::String::toHexString (row.product) + " "
                      + (row.service != nullptr ? "\"" + juce::String (row.service) + "\"" : "no service"));
        const auto alone = node (row.vendor, row.product, row.service);
        EXPECT_EQ (needsWinUsbDriver (alone), row.needsDriver);

        // The check over a list of that node alone.
        listing::handOut ({ alone });
        EXPECT_EQ (isWinUsbDriverInstalled(), ! row.needsDriver);
    }
}

TEST_F (UsbDriverCheck, TheCheckFailsWhereverInTheListANodeNeedsTheDriver)
{
    const auto needing = node (0x6e3c, 0x0222, nullptr);
    const auto onWinUsb = node (0x6e3c, 0x0222, "WinUSB");
    const auto other = node (0x1209, 0x0001, nullptr);

    struct Row
    {
        const char* name;
        std::vector<udi_device_node> nodes; // none: the listing fails
        bool installed;
    };

    const Row rows[] = {
        { "no list", {}, true },
        { "on WinUSB", { onWinUsb }, true },
        { "on WinUSB among others", { other, onWinUsb, other }, true },
        { "first", { needing, onWinUsb, other }, false },
        { "between", { onWinUsb, needing, other }, false },
        { "last", { other, onWinUsb, needing }, false },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.name);
        listing::handOut (row.nodes);
        EXPECT_EQ (isWinUsbDriverInstalled(), row.installed);
    }
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
    listing::reset();
    listing::handOut ({ node (0x6e3c, 0x0222, nullptr), node (0x1209, 0x0001, "WinUSB") });

    {
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
        EXPECT_TRUE (listing::freed.empty()) << "a moved list is not freed";

        // A list moved onto itself stays as it is.
        auto& same = third;
        third = std::move (same);
        EXPECT_EQ (third.get(), head);
        EXPECT_TRUE (listing::freed.empty());

        // Another list moved over it frees the one it held, there and then.
        auto next = listUsbDevices();
        auto* nextHead = next.get();
        third = std::move (next);
        EXPECT_EQ (third.get(), nextHead);
        EXPECT_EQ (listing::freed, std::vector<udi_device_node*> { head });

        third = DeviceList();
        EXPECT_EQ (third.get(), nullptr);
        EXPECT_EQ (listing::freed, (std::vector<udi_device_node*> { head, nextHead }));

        // And an owner that ends frees the list it holds.
        const auto last = listUsbDevices();
        ASSERT_NE (last.get(), nullptr);
        EXPECT_EQ (listing::freed.size(), 2u);
    }

    // Three lists made, three freed, each once.
    EXPECT_EQ (listing::freed.size(), 3u);
    EXPECT_TRUE (listing::everyListFreedOnce());
    listing::reset();
}
