#include <gtest/gtest.h>

#include "udi/parse.h"

namespace {

const usb_vendor_name sampleTable[] = {
    { 0x0001, "Fry's Electronics" },
    { 0x045E, "Microsoft Corp." },
    { 0x8086, "Intel Corp." },
    { 0xFFEE, "FNK Tech" },
};

TEST(VendorName, FindsTheRowOfTheId)
{
    const size_t count = sizeof(sampleTable) / sizeof(sampleTable[0]);
    EXPECT_STREQ(find_vendor_name(sampleTable, count, 0x045E), "Microsoft Corp.");
    EXPECT_STREQ(find_vendor_name(sampleTable, count, 0x0001), "Fry's Electronics");
    EXPECT_STREQ(find_vendor_name(sampleTable, count, 0xFFEE), "FNK Tech");
    EXPECT_EQ(find_vendor_name(sampleTable, count, 0x6E3C), nullptr);
    // The count bounds the scan.
    EXPECT_EQ(find_vendor_name(sampleTable, 3, 0xFFEE), nullptr);
    EXPECT_EQ(find_vendor_name(nullptr, 4, 0x045E), nullptr);
}

}  // namespace
