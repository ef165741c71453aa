#include <gtest/gtest.h>

#include "udi/parse.h"

namespace {

struct VersionCase {
    const char *text;
    uint64_t packed;
};

class DriverVersionText : public testing::TestWithParam<VersionCase> {};

TEST_P(DriverVersionText, PacksSixteenBitsAPart)
{
    EXPECT_EQ(pack_driver_version(GetParam().text), GetParam().packed) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverVersionText, testing::Values(
    VersionCase{ "1.2.6.0", 0x0001000200060000ull },
    VersionCase{ "6.1.7600.16385", 0x00060001'1DB04001ull },
    VersionCase{ "3.0.7", 0x0000000300000007ull },
    VersionCase{ "10", 10 },
    // A fifth part shifts the first one out.
    VersionCase{ "1.2.3.4.5", 0x0002000300040005ull },
    // Parts are read like atoi: leading digits only, none counts 0.
    VersionCase{ "2a.b.7 beta.", 0x0002000000070000ull },
    VersionCase{ "1..2", 0x0000000100000002ull },
    // A part out of range stays in its own 16 bits.
    VersionCase{ "1.70000.3.4", 0x0001FFFF00030004ull },
    VersionCase{ "1.-5.3.4", 0x0001000000030004ull },
    VersionCase{ "", 0 }));

TEST(DriverVersionTextNull, IsZero)
{
    EXPECT_EQ(pack_driver_version(nullptr), 0u);
}

}  // namespace
