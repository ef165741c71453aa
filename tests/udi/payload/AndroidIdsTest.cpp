#include <gtest/gtest.h>

#include "udi/internal.h"

TEST (AndroidDeviceIds, HoldsTheSortedPairs)
{
    ASSERT_EQ (android_device_ids_count, 128u);
    int twice = 0;
    for (size_t i = 1; i < android_device_ids_count; ++i)
    {
        const android_device_id& a = android_device_ids[i - 1];
        const android_device_id& b = android_device_ids[i];
        ASSERT_TRUE (a.vendor_id < b.vendor_id
                     || (a.vendor_id == b.vendor_id && a.product_id <= b.product_id)) << "row " << i;
        if (a.vendor_id == b.vendor_id && a.product_id == b.product_id)
        {
            EXPECT_EQ (a.vendor_id, 0x18D1);
            EXPECT_EQ (a.product_id, 0x708C);
            ++twice;
        }
    }
    EXPECT_EQ (twice, 1);
}

TEST (AndroidDeviceIds, KnowsExactlyTheListedPairs)
{
    EXPECT_TRUE (is_android_device (0x0451, 0xD022));   // the first
    EXPECT_TRUE (is_android_device (0x18D1, 0x4EE7));
    EXPECT_TRUE (is_android_device (0x22B8, 0x70A9));   // the last
    EXPECT_FALSE (is_android_device (0x18D1, 0x708D));
    EXPECT_FALSE (is_android_device (0xD022, 0x0451));  // ids the other way round
    EXPECT_FALSE (is_android_device (0x6E3C, 0x0222));
}
