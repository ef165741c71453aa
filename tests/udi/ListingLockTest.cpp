// The listing's lock "Global\udi_create_list" while a listing really runs:
// a replacement for CM_Get_Device_IDA holds the first call inside the walk.
#include <gtest/gtest.h>

#include <future>
#include <windows.h>
#include <cfgmgr32.h>

#include "support/ChildProcess.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "udi/libudi.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevices;
using udi_test::HeldLock;
using udi_test::lockExists;
using udi_test::runProbe;

namespace {

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
