#include <gtest/gtest.h>

#include <string>

#include "PrivateTemp.h"
#include "VersionRecords.h"
#include "support/StreamCapture.h"
#include "udi/internal.h"
#include "udi/libudi.h"

using udi_test::ScopedEnvironment;
using udi_test::StreamCapture;

namespace
{
    enum class Record { Filled, Untouched, Zeroed };

    struct Support
    {
        udi_driver_kind kind;
        int answer;
        Record record;
        DWORD versionMS;  // for Filled
        bool unknown;
    };

    const Support supports[] = {
        { UDI_DRIVER_WINUSB, 1, Record::Filled, (6u << 16) | 1u, false },
        { UDI_DRIVER_LIBUSB0, 1, Record::Filled, (1u << 16) | 2u, false },
        { UDI_DRIVER_LIBUSBK, 1, Record::Filled, (3u << 16) | 0u, false },
        { UDI_DRIVER_USB_CDC, 1, Record::Untouched, 0, false },
        { UDI_DRIVER_USER, 0, Record::Untouched, 0, false },
        { UDI_DRIVER_KIND_COUNT, 0, Record::Untouched, 0, true },
        { -1, 0, Record::Zeroed, 0, true },
    };

    class DriverSupport : public PrivateTemp, public ::testing::WithParamInterface<Support> {};
    class DriverKinds : public PrivateTemp {};
}

TEST_P (DriverSupport, AnswersAndFillsTheRecordByKind)
{
    const Support& expected = GetParam();
    VS_FIXEDFILEINFO record = filledRecord();
    StreamCapture log;

    EXPECT_EQ (udi_is_driver_supported (expected.kind, &record), expected.answer);
    EXPECT_EQ (udi_is_driver_supported (expected.kind, nullptr), expected.answer);

    switch (expected.record)
    {
        case Record::Filled:
            EXPECT_EQ (record.dwSignature, 0xFEEF04BDu);
            EXPECT_EQ (record.dwFileVersionMS, expected.versionMS);
            break;
        case Record::Untouched:
            EXPECT_TRUE (sameRecord (record, filledRecord()));
            break;
        case Record::Zeroed:
            EXPECT_TRUE (sameRecord (record, VS_FIXEDFILEINFO {}));
            break;
    }
    const std::string unknownLine = "libudi:error [udi_is_driver_supported] Unknown driver type\n";
    log.finish();
    EXPECT_EQ (log.err(), expected.unknown ? unknownLine + unknownLine : std::string());
}

INSTANTIATE_TEST_SUITE_P (SupportOfEachKind, DriverSupport, ::testing::ValuesIn (supports));

TEST_F (DriverKinds, SupportRereadsTheCacheEntryItIsGiven)
{
    // A preparation passes the kind's own cache entry, so that every package
    // states the version of the file it carries now.
    VS_FIXEDFILEINFO& entry = driver_version_cache[UDI_DRIVER_WINUSB];
    entry = filledRecord();
    entry.dwFileVersionMS = (9u << 16) | 9u;

    EXPECT_EQ (udi_is_driver_supported (UDI_DRIVER_WINUSB, &entry), 1);
    EXPECT_EQ (entry.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ (entry.dwFileVersionMS, (6u << 16) | 1u);
    EXPECT_EQ (entry.dwFileVersionLS, (7600u << 16) | 16385u);
}

TEST_F (DriverKinds, AreSupportedEvenWhenTheirVersionCannotBeRead)
{
    StreamCapture log;
    ScopedEnvironment noTemp (L"TEMP", nullptr);
    VS_FIXEDFILEINFO record = filledRecord();

    EXPECT_EQ (udi_is_driver_supported (UDI_DRIVER_LIBUSBK, &record), 1);
    EXPECT_TRUE (sameRecord (record, VS_FIXEDFILEINFO {})) << "a package then states 0.0.0.0";
}

TEST_F (DriverKinds, OnlyTheUserKindLacksFiles)
{
    for (udi_driver_kind kind = UDI_DRIVER_WINUSB; kind <= UDI_DRIVER_USB_CDC; ++kind)
        EXPECT_NE (driver_kind_info_of (kind)->inf_template, nullptr) << kind;

    const driver_kind_info* user = driver_kind_info_of (UDI_DRIVER_USER);
    ASSERT_NE (user, nullptr);
    EXPECT_STREQ (user->display_name, "user driver");
    EXPECT_EQ (user->inf_template, nullptr);
    EXPECT_EQ (user->version_file, nullptr);
    EXPECT_EQ (driver_kind_info_of (UDI_DRIVER_KIND_COUNT), nullptr);
    EXPECT_EQ (driver_kind_info_of (-1), nullptr);
}
