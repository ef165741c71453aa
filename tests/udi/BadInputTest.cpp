// Every public call of the listing on its ways out: a code of the table, no
// crash, and nothing left behind that would refuse the next call.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/StreamCapture.h"
#include "udi/libudi.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevices;
using udi_test::lockExists;
using udi_test::StreamCapture;

namespace {

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

}  // namespace
