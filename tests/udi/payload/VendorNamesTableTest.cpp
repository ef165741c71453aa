#include <gtest/gtest.h>

#include "udi/internal.h"

TEST (VendorNamesTable, IsSortedWithEachIdOnce)
{
    ASSERT_GT (usb_vendor_names_count, 3000u);
    EXPECT_EQ (usb_vendor_names[0].id, 0x0001);
    for (size_t i = 1; i < usb_vendor_names_count; ++i)
        ASSERT_LT (usb_vendor_names[i - 1].id, usb_vendor_names[i].id) << "row " << i;
    for (size_t i = 0; i < usb_vendor_names_count; ++i)
    {
        ASSERT_NE (usb_vendor_names[i].name, nullptr) << "row " << i;
        EXPECT_NE (usb_vendor_names[i].name[0], '\0') << "row " << i;
    }
}

TEST (VendorNamesTable, NamesTheKnownVendors)
{
    EXPECT_STREQ (lookup_vendor_name (0x0001), "Fry's Electronics");
    EXPECT_STREQ (lookup_vendor_name (0x045E), "Microsoft Corp.");
    EXPECT_STREQ (lookup_vendor_name (0x8086), "Intel Corp.");
    EXPECT_STREQ (lookup_vendor_name (0xFFEE), "FNK Tech");
    // The updater's own device has no row.
    EXPECT_EQ (lookup_vendor_name (0x6E3C), nullptr);
}
