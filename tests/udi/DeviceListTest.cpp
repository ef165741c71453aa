#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <memory>
#include <set>
#include <windows.h>
#include <cfgmgr32.h>

#include "support/ChildProcess.h"
#include "support/DeviceListing.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/StreamCapture.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevice;
using udi_test::FakeUsbDevices;
using udi_test::HeldLock;
using udi_test::listDevices;
using udi_test::Listing;
using udi_test::lockExists;
using udi_test::runProbe;
using udi_test::StreamCapture;

namespace {

// udi_create_list against Wine's own SetupAPI, over a device tree that the
// suite fills with USB devices of its own.
class DeviceList : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tree = std::make_unique<FakeUsbDevices>();
        const FakeUsbDevice devices[] = {
            { L"USB\\VID_6E3C&PID_0222\\UDITEST01",
              { L"USB\\VID_6E3C&PID_0222&REV_0100", L"USB\\VID_6E3C&PID_0222" },
              { L"USB\\Class_FE&SubClass_01&Prot_02", L"USB\\Class_FE" },
              L"Kelvane DFU   ", L"", L"", L"" },
            { L"USB\\VID_6E3C&PID_0111\\UDITEST02", { L"USB\\VID_6E3C&PID_0111" }, {},
              L"Bound Device", L"", L"WinUSB", L"libusb0" },
            { L"USB\\VID_6E3C&PID_0444\\UDITEST03", { L"USB\\VID_6E3C&PID_0444" }, {},
              L"Composite", L"", L"usbccgp", L"" },
            { L"USB\\VID_6E3C&PID_0444&MI_00\\UDITEST04", { L"USB\\VID_6E3C&PID_0444&MI_00" }, {},
              L"Composite Audio", L"", L"", L"" },
            { L"USB\\VID_6E3C&PID_0444&MI_0A\\UDITEST05", { L"USB\\VID_6E3C&PID_0444&MI_0A" }, {},
              L"Composite HID", L"", L"", L"" },
            { L"USB\\VID_05E3&PID_0610\\UDITEST06", { L"USB\\VID_05E3&PID_0610" }, {},
              L"Generic Hub", L"", L"usbhub", L"" },
            { L"USB\\ROOT_HUB30\\UDITEST07", { L"USB\\ROOT_HUB30" }, {},
              L"Root Hub", L"", L"USBHUB3", L"" },
            { L"USB\\VID_1209&PID_0001\\UDITEST08", { L"USB\\VID_1209&PID_0001" }, {},
              L"", L"", L"", L"" },
            { L"USB\\VID_1209&PID_0002\\UDITEST09", { L"USB\\VID_1209&PID_0002" }, {},
              L"", L"", L"", L"" },
            { L"USB\\NO_IDS_HERE\\UDITEST10", {}, {}, L"No Ids", L"", L"", L"" },
            { L"USB\\VID_ZZZZ&PID_0001\\UDITEST11", { L"USB\\VID_ZZZZ&PID_0001" }, {},
              L"Odd Hub", L"", L"usbhub", L"" },
            { L"USB\\VID_6E3C&PID_0555\\UDITEST12", { L"USB\\VID_6E3C&PID_0555" }, {},
              L"Registry Text", L"Bus Text", L"", L"" },
            { L"USB\\VID_6E3C&PID_0333\\UDITEST13", { L"USB\\VID_6E3C&PID_0333" }, {},
              L"Installed Device", L"", L"", L"" },
        };
        for (const auto &device : devices)
            ASSERT_TRUE(tree->add(device));
        ASSERT_TRUE(tree->installDriver(L"USB\\VID_6E3C&PID_0333", L"1.2.6.0"));
    }

    static void TearDownTestSuite() { tree.reset(); }

    static std::unique_ptr<FakeUsbDevices> tree;
};

std::unique_ptr<FakeUsbDevices> DeviceList::tree;

std::set<std::string> suffixes(const Listing &listing)
{
    std::set<std::string> found;
    for (const auto &device : listing.devices)
        found.insert(device.deviceId.substr(device.deviceId.rfind('\\') + 1));
    return found;
}

TEST_F(DeviceList, WithoutOptionsListsOnlyFunctionDevicesWithoutADriver)
{
    const Listing listing = listDevices(nullptr);

    ASSERT_EQ(listing.result, UDI_OK);
    EXPECT_EQ(suffixes(listing),
              (std::set<std::string>{ "UDITEST01", "UDITEST02", "UDITEST04", "UDITEST05",
                                      "UDITEST08", "UDITEST09", "UDITEST10", "UDITEST12" }));
}

TEST_F(DeviceList, WithDriversListsTheInstalledOneWithItsServiceAndVersion)
{
    const udi_list_options options = { 1, 0, 0 };
    const Listing listing = listDevices(&options);

    ASSERT_EQ(listing.result, UDI_OK);
    EXPECT_EQ(suffixes(listing),
              (std::set<std::string>{ "UDITEST01", "UDITEST02", "UDITEST04", "UDITEST05",
                                      "UDITEST08", "UDITEST09", "UDITEST10", "UDITEST12",
                                      "UDITEST13" }));
    const auto *installed = listing.find("UDITEST13");
    ASSERT_NE(installed, nullptr);
    EXPECT_TRUE(installed->hasService);
    EXPECT_STREQ(installed->service.c_str(), "WinUSB");
    EXPECT_EQ(installed->driverVersion, 0x0001000200060000ull);
    EXPECT_EQ(installed->vendorId, 0x6E3C);
    EXPECT_EQ(installed->productId, 0x0333);
}

TEST_F(DeviceList, HubsAndCompositeParentsOnlyWithIncludeHubsAndNeverTheRootHub)
{
    const udi_list_options options = { 0, 1, 0 };
    const Listing listing = listDevices(&options);

    ASSERT_EQ(listing.result, UDI_OK);
    const auto found = suffixes(listing);
    EXPECT_EQ(found.count("UDITEST03"), 1u);
    EXPECT_EQ(found.count("UDITEST06"), 1u);
    EXPECT_EQ(found.count("UDITEST07"), 0u) << "a root hub has no vendor id";
    EXPECT_EQ(found.count("UDITEST13"), 0u) << "has a driver";

    const auto *parent = listing.find("UDITEST03");
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(parent->description, "Composite (Composite Parent)");
    EXPECT_EQ(parent->hasInterfaceNumber, 0);

    const auto *hub = listing.find("UDITEST06");
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub->vendorId, 0x05E3);
    EXPECT_EQ(hub->service, "usbhub");

    // An unreadable vendor token still counts as one: the hub stays, with 0.
    const auto *oddHub = listing.find("UDITEST11");
    ASSERT_NE(oddHub, nullptr);
    EXPECT_EQ(oddHub->vendorId, 0);
    EXPECT_EQ(oddHub->productId, 0x0001);
}

TEST_F(DeviceList, InterfacesCarryTheirNumberInFieldAndDescription)
{
    const Listing listing = listDevices(nullptr);

    const auto *audio = listing.find("UDITEST04");
    const auto *hid = listing.find("UDITEST05");
    ASSERT_NE(audio, nullptr);
    ASSERT_NE(hid, nullptr);
    EXPECT_EQ(audio->hasInterfaceNumber, 1);
    EXPECT_EQ(audio->interfaceNumber, 0);
    EXPECT_EQ(audio->description, "Composite Audio (Interface 0)");
    EXPECT_EQ(hid->hasInterfaceNumber, 1);
    EXPECT_EQ(hid->interfaceNumber, 10);
    EXPECT_EQ(hid->description, "Composite HID (Interface 10)");
    EXPECT_EQ(audio->vendorId, 0x6E3C);
    EXPECT_EQ(audio->productId, 0x0444);
}

TEST_F(DeviceList, DevicesWithoutDescriptionAreCountedAfreshInEachCall)
{
    if (FakeUsbDevices::foreignDeviceCount() != 0)
        GTEST_SKIP() << "other USB devices present would take numbers too";

    for (int call = 0; call < 2; call++) {
        const Listing listing = listDevices(nullptr);
        std::vector<std::string> unknown;
        for (const auto &device : listing.devices) {
            if (device.deviceId.find("PID_0001\\UDITEST08") != std::string::npos
                || device.deviceId.find("PID_0002\\UDITEST09") != std::string::npos)
                unknown.push_back(device.description);
        }
        EXPECT_EQ(unknown, (std::vector<std::string>{ "Unknown Device #1", "Unknown Device #2" }))
            << "call " << call;
    }
}

TEST_F(DeviceList, ReadsIdsServiceFiltersAndTheBusReportedDescription)
{
    const Listing listing = listDevices(nullptr);

    const auto *dfu = listing.find("UDITEST01");
    ASSERT_NE(dfu, nullptr);
    EXPECT_EQ(dfu->vendorId, 0x6E3C);
    EXPECT_EQ(dfu->productId, 0x0222);
    EXPECT_EQ(dfu->hasInterfaceNumber, 0);
    EXPECT_EQ(dfu->deviceId, "USB\\VID_6E3C&PID_0222\\UDITEST01");
    EXPECT_EQ(dfu->hardwareId, "USB\\VID_6E3C&PID_0222&REV_0100");
    EXPECT_EQ(dfu->compatibleId, "USB\\Class_FE&SubClass_01&Prot_02");
    EXPECT_FALSE(dfu->hasService);
    EXPECT_FALSE(dfu->hasUpperFilter);
    EXPECT_EQ(dfu->driverVersion, 0u);

    const auto *bound = listing.find("UDITEST02");
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->service, "WinUSB");
    EXPECT_TRUE(bound->hasUpperFilter);
    EXPECT_EQ(bound->upperFilter, "libusb0");
    EXPECT_EQ(bound->compatibleId, "");
    EXPECT_EQ(bound->driverVersion, 0u);

    const auto *bus = listing.find("UDITEST12");
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(bus->description, "Bus Text");

    const auto *noIds = listing.find("UDITEST10");
    ASSERT_NE(noIds, nullptr);
    EXPECT_EQ(noIds->vendorId, 0);
    EXPECT_EQ(noIds->productId, 0);
    EXPECT_EQ(noIds->hardwareId, "");
    EXPECT_EQ(noIds->description, "No Ids");
}

TEST_F(DeviceList, TrimsDescriptionsOnlyWhenAsked)
{
    const udi_list_options trim = { 0, 0, 1 };

    EXPECT_EQ(listDevices(nullptr).find("UDITEST01")->description, "Kelvane DFU   ");
    EXPECT_EQ(listDevices(&trim).find("UDITEST01")->description, "Kelvane DFU");
}

TEST_F(DeviceList, WarnsOfMissingDriverVersionAndHardwareIdOnStandardError)
{
    udi_test::StreamCapture capture;
    const Listing listing = listDevices(nullptr);
    capture.finish();

    ASSERT_EQ(listing.result, UDI_OK);
    EXPECT_NE(capture.err().find("libudi:warning [udi_create_list] Could not read driver version\n"),
              std::string::npos) << capture.err();
    EXPECT_NE(capture.err().find("libudi:error [udi_create_list] Could not get hardware ID\n"),
              std::string::npos) << capture.err();
    EXPECT_EQ(capture.err().find("libudi:debug"), std::string::npos);
}

// The configuration manager losing one device between the walk and the id.
CONFIGRET WINAPI losingGetDeviceId(DEVINST device, PSTR buffer, ULONG size, ULONG flags)
{
    const CONFIGRET status = CM_Get_Device_IDA(device, buffer, size, flags);
    if (status == CR_SUCCESS && std::strstr(buffer, "UDITEST01") != nullptr)
        return CR_NO_SUCH_DEVNODE;
    return status;
}

TEST_F(DeviceList, SkipsADeviceWhoseInstanceIdCannotBeHad)
{
    system_function_replace("Cfgmgr32", "CM_Get_Device_IDA",
                            reinterpret_cast<system_function>(losingGetDeviceId));
    udi_test::StreamCapture capture;
    const Listing listing = listDevices(nullptr);
    capture.finish();
    system_function_restore_all();

    ASSERT_EQ(listing.result, UDI_OK);
    EXPECT_EQ(listing.find("UDITEST01"), nullptr);
    EXPECT_NE(listing.find("UDITEST02"), nullptr);
    const std::string line = "libudi:error [udi_create_list] Could not retrieve simple path for device ";
    const size_t at = capture.err().find(line);
    ASSERT_NE(at, std::string::npos) << capture.err();
    const std::string logged = capture.err().substr(at, capture.err().find('\n', at) - at);
    const std::string index = logged.substr(line.size(), logged.find(':', line.size()) - line.size());
    EXPECT_EQ(logged, line + index + ": CR error 13");
    EXPECT_FALSE(index.empty());
    EXPECT_EQ(index.find_first_not_of("0123456789"), std::string::npos) << logged;
}

TEST(EmptyDeviceTree, GivesMinusFourAndANullHead)
{
    FakeUsbDevices tree;  // removes what an earlier run may have left
    if (FakeUsbDevices::foreignDeviceCount() != 0)
        GTEST_SKIP() << "the machine has USB devices of its own";

    udi_device_node *head = reinterpret_cast<udi_device_node *>(0x1);
    EXPECT_EQ(udi_create_list(&head, nullptr), UDI_ERR_DEVICE_LIST_EMPTY);
    EXPECT_EQ(head, nullptr);
    const udi_list_options all = { 1, 1, 1 };
    EXPECT_EQ(udi_create_list(&head, &all), UDI_ERR_DEVICE_LIST_EMPTY);
    EXPECT_EQ(head, nullptr);
}

// Every public call of the listing on its ways out: a code of the table, no
// crash, and nothing left behind that would refuse the next call.
DWORD handleCount()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

// The next listing must be a real one: a list or an empty machine, never a
// lock or resource left over.
void expectNextListingWorks()
{
    udi_device_node *head = nullptr;
    const udi_result r = udi_create_list(&head, nullptr);
    EXPECT_TRUE(r == UDI_OK || r == UDI_ERR_DEVICE_LIST_EMPTY) << r;
    EXPECT_EQ(udi_destroy_list(head), UDI_OK);
    EXPECT_FALSE(lockExists("udi_create_list"));
    EXPECT_FALSE(lockExists("udi_destroy_list"));
}

class BadInput : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.add({ L"USB\\VID_6E3C&PID_0222\\UDITEST31", { L"USB\\VID_6E3C&PID_0222" },
                               {}, L"Kelvane DFU", L"", L"", L"" }));
        expectNextListingWorks();  // loads what the first call loads once
        handlesBefore = handleCount();
    }

    void TearDown() override
    {
        system_function_restore_all();
        windows_version_code = -1;
        expectNextListingWorks();
        EXPECT_EQ(handleCount(), handlesBefore);
    }

    FakeUsbDevices tree;
    DWORD handlesBefore = 0;
};

TEST_F(BadInput, NoPlaceForTheListIsABadArgument)
{
    EXPECT_EQ(udi_create_list(nullptr, nullptr), UDI_ERR_BAD_ARGUMENT);
    const udi_list_options all = { 1, 1, 1 };
    EXPECT_EQ(udi_create_list(nullptr, &all), UDI_ERR_BAD_ARGUMENT);
}

TEST_F(BadInput, FreeingNothingSucceeds)
{
    EXPECT_EQ(udi_destroy_list(nullptr), UDI_OK);
    EXPECT_EQ(udi_destroy_list(nullptr), UDI_OK);
}

TEST_F(BadInput, AMissingSystemFunctionIsOutOfResourcesAndLogged)
{
    system_function_hide("Cfgmgr32", "CM_Get_Device_IDA");
    auto *const untouched = reinterpret_cast<udi_device_node *>(0x5A5A);
    udi_device_node *head = untouched;

    StreamCapture capture;
    EXPECT_EQ(udi_create_list(&head, nullptr), UDI_ERR_OUT_OF_RESOURCES);
    capture.finish();

    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(capture.err(), "libudi:error [udi_create_list] Unable to locate "
                             "CM_Get_Device_IDA() in Cfgmgr32\n\n");
}

TEST_F(BadInput, ALockNameThatCannotBeOpenedIsOutOfResources)
{
    for (const char *name : { "Global\\udi_create_list", "Global\\udi_destroy_list" }) {
        HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, name);
        ASSERT_NE(squatter, nullptr);
        auto *const untouched = reinterpret_cast<udi_device_node *>(0x5A5A);
        udi_device_node *head = untouched;
        if (std::string(name).find("create") != std::string::npos) {
            EXPECT_EQ(udi_create_list(&head, nullptr), UDI_ERR_OUT_OF_RESOURCES);
            EXPECT_EQ(head, untouched);
        } else {
            EXPECT_EQ(udi_destroy_list(nullptr), UDI_ERR_OUT_OF_RESOURCES);
        }
        CloseHandle(squatter);
    }
}

TEST_F(BadInput, TooOldAWindowsRefusesTheListingButNotTheFreeing)
{
    windows_version_code = 0x60;
    auto *const untouched = reinterpret_cast<udi_device_node *>(0x5A5A);
    udi_device_node *head = untouched;

    StreamCapture capture;
    EXPECT_EQ(udi_create_list(&head, nullptr), UDI_ERR_WINDOWS_TOO_OLD);
    EXPECT_EQ(udi_destroy_list(nullptr), UDI_OK);
    capture.finish();

    EXPECT_EQ(head, untouched);
    EXPECT_EQ(capture.err(), "libudi:error [udi_create_list] This version of Windows is no "
                             "longer supported\n");
}

// The listing's lock "Global\udi_create_list" while a listing really runs:
// a replacement for CM_Get_Device_IDA holds the first call inside the walk.
HANDLE enteredWalk = nullptr;
HANDLE mayGoOn = nullptr;

CONFIGRET WINAPI heldGetDeviceId(DEVINST device, PSTR buffer, ULONG size, ULONG flags)
{
    SetEvent(enteredWalk);
    WaitForSingleObject(mayGoOn, 10000);
    return CM_Get_Device_IDA(device, buffer, size, flags);
}

class ListingLock : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.add({ L"USB\\VID_6E3C&PID_0222\\UDITEST21", { L"USB\\VID_6E3C&PID_0222" },
                               {}, L"Kelvane DFU", L"", L"", L"" }));
        enteredWalk = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        mayGoOn = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }

    void TearDown() override
    {
        SetEvent(mayGoOn);
        system_function_restore_all();
        CloseHandle(enteredWalk);
        CloseHandle(mayGoOn);
    }

    FakeUsbDevices tree;
};

TEST_F(ListingLock, ASecondListingWhileOneRunsGetsMinusSixAtOnceHereAndInAnotherProcess)
{
    system_function_replace("Cfgmgr32", "CM_Get_Device_IDA",
                            reinterpret_cast<system_function>(heldGetDeviceId));

    auto first = std::async(std::launch::async, [] {
        udi_device_node *head = nullptr;
        const udi_result r = udi_create_list(&head, nullptr);
        const bool listed = head != nullptr;
        udi_destroy_list(head);
        return std::make_pair(r, listed);
    });
    ASSERT_EQ(WaitForSingleObject(enteredWalk, 10000), WAIT_OBJECT_0);

    auto *const untouched = reinterpret_cast<udi_device_node *>(0x5A5A);
    udi_device_node *head = untouched;
    const DWORD start = GetTickCount();
    EXPECT_EQ(udi_create_list(&head, nullptr), UDI_ERR_IN_USE);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(head, untouched);

    EXPECT_EQ(runProbe({ L"list" }), UDI_ERR_IN_USE);

    // Freeing has a lock of its own and is not held up by a listing.
    EXPECT_EQ(udi_destroy_list(nullptr), UDI_OK);

    SetEvent(mayGoOn);
    const auto result = first.get();
    EXPECT_EQ(result.first, UDI_OK);
    EXPECT_TRUE(result.second);

    EXPECT_FALSE(lockExists("udi_create_list"));
    system_function_restore_all();
    EXPECT_EQ(runProbe({ L"list" }), UDI_OK);
}

TEST_F(ListingLock, AListingOrFreeingInAnotherProcessRefusesOursAndLeavesOurListAlone)
{
    udi_device_node *list = nullptr;
    ASSERT_EQ(udi_create_list(&list, nullptr), UDI_OK);
    ASSERT_NE(list, nullptr);

    {
        HeldLock listing(L"udi_create_list");
        ASSERT_TRUE(listing.held());
        auto *const untouched = reinterpret_cast<udi_device_node *>(0x5A5A);
        udi_device_node *head = untouched;
        EXPECT_EQ(udi_create_list(&head, nullptr), UDI_ERR_IN_USE);
        EXPECT_EQ(head, untouched);
    }
    {
        HeldLock freeing(L"udi_destroy_list");
        ASSERT_TRUE(freeing.held());
        EXPECT_EQ(udi_destroy_list(list), UDI_ERR_IN_USE);
        // Still whole: a later call frees it.
        ASSERT_NE(list->device_id, nullptr);
    }
    EXPECT_EQ(udi_destroy_list(list), UDI_OK);
}

}  // namespace
