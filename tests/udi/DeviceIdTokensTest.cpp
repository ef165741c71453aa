#include <gtest/gtest.h>

#include <string>

#include "udi/parse.h"

namespace {

struct TokenCase {
    const char *id;
    uint16_t vendor;
    uint16_t product;
    int hasInterface;
    uint8_t interfaceNumber;
    int hasVendorToken;
    int badVendor;
    int badProduct;
    int badInterface;
};

class DeviceIdTokens : public testing::TestWithParam<TokenCase> {};

TEST_P(DeviceIdTokens, ReadsTheIdsOfTheInstanceId)
{
    const TokenCase &c = GetParam();
    device_id_tokens tokens;

    parse_device_id_tokens(c.id, &tokens);

    EXPECT_EQ(tokens.vendor_id, c.vendor);
    EXPECT_EQ(tokens.product_id, c.product);
    EXPECT_EQ(tokens.has_interface_number, c.hasInterface);
    EXPECT_EQ(tokens.interface_number, c.interfaceNumber);
    EXPECT_EQ(tokens.has_vendor_token, c.hasVendorToken);
    EXPECT_EQ(tokens.bad_vendor_token, c.badVendor);
    EXPECT_EQ(tokens.bad_product_token, c.badProduct);
    EXPECT_EQ(tokens.bad_interface_token, c.badInterface);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceIdTokens, testing::Values(
    TokenCase{ "USB\\VID_6E3C&PID_0222\\UDITEST01", 0x6E3C, 0x0222, 0, 0, 1, 0, 0, 0 },
    TokenCase{ "USB\\VID_6E3C&PID_0222&MI_01\\6&1A2B&0&0001", 0x6E3C, 0x0222, 1, 1, 1, 0, 0, 0 },
    TokenCase{ "USB\\VID_045e&PID_07a5&MI_0A\\x", 0x045E, 0x07A5, 1, 0x0A, 1, 0, 0, 0 },
    // Only four (two) digits count; what follows is ignored.
    TokenCase{ "USB\\VID_12345&PID_ABCDEF&MI_123\\x", 0x1234, 0xABCD, 1, 0x12, 1, 0, 0, 0 },
    TokenCase{ "USB\\ROOT_HUB30\\4&2A1B&0&0", 0, 0, 0, 0, 0, 0, 0, 0 },
    TokenCase{ "USB\\VID_ZZZZ&PID_0001\\x", 0, 0x0001, 0, 0, 1, 1, 0, 0 },
    TokenCase{ "USB\\VID_&PID_\\x", 0, 0, 0, 0, 1, 1, 1, 0 },
    TokenCase{ "USB\\VID_0001&PID_0002&MI_GG\\x", 1, 2, 0, 0, 1, 0, 0, 1 },
    // '#' separates as well; prefixes are case-sensitive.
    TokenCase{ "USB#VID_1209#PID_0001#vid_4444", 0x1209, 0x0001, 0, 0, 1, 0, 0, 0 },
    TokenCase{ "usb\\vid_6e3c&pid_0222\\x", 0, 0, 0, 0, 0, 0, 0, 0 },
    TokenCase{ "", 0, 0, 0, 0, 0, 0, 0, 0 }));

TEST(DeviceIdTokensNull, GivesNothing)
{
    device_id_tokens tokens;

    parse_device_id_tokens(nullptr, &tokens);
    EXPECT_EQ(tokens.vendor_id, 0);
    EXPECT_EQ(tokens.has_vendor_token, 0);
}

}  // namespace
