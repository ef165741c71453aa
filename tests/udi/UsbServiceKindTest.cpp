#include <gtest/gtest.h>

#include "udi/parse.h"

namespace {

class HubService : public testing::TestWithParam<const char *> {};

TEST_P(HubService, IsAHub)
{
    EXPECT_TRUE(is_hub_service(GetParam()));
    EXPECT_FALSE(is_composite_parent_service(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(AllFourteen, HubService, testing::Values(
    "usbhub", "usbhub3", "usb3hub", "nusb3hub", "rusb3hub", "flxhcih", "tihub3", "etronhub3",
    "viahub3", "asmthub3", "iusb3hub", "vusb3hub", "amdhub30", "vhhub", "USBHUB3", "UsbHub"));

TEST(ServiceKind, TellsOtherServicesApart)
{
    for (const char *service : { "WinUSB", "usbhub33", "usbhu", "", "usbccgp" })
        EXPECT_FALSE(is_hub_service(service)) << service;
    EXPECT_FALSE(is_hub_service(nullptr));

    EXPECT_TRUE(is_composite_parent_service("usbccgp"));
    EXPECT_TRUE(is_composite_parent_service("USBCCGP"));
    EXPECT_FALSE(is_composite_parent_service("usbccgp2"));
    EXPECT_FALSE(is_composite_parent_service(nullptr));
}

}  // namespace
