#include <gtest/gtest.h>

#include <string>

#include "PrivateTemp.h"
#include "VersionRecords.h"
#include "support/StreamCapture.h"
#include "udi/libudi.h"
#include "udi/internal.h"

using udi_test::ScopedEnvironment;
using udi_test::StreamCapture;
using udi_test::writeFile;

namespace
{
    struct KindVersion
    {
        udi_driver_kind kind;
        DWORD versionMS, versionLS;
        SYSTEMTIME fileDate;  // UTC
    };

    const KindVersion kindVersions[] = {
        { UDI_DRIVER_WINUSB, (6u << 16) | 1u, (7600u << 16) | 16385u, { 2020, 6, 2, 23, 8, 30, 26, 0 } },
        { UDI_DRIVER_LIBUSB0, (1u << 16) | 2u, (6u << 16) | 0u, { 2021, 3, 1, 8, 8, 0, 1, 0 } },
        { UDI_DRIVER_LIBUSBK, (3u << 16) | 0u, (7u << 16) | 0u, { 2021, 3, 1, 8, 8, 6, 4, 0 } },
    };

    bool isEmpty (const std::filesystem::path& folder)
    {
        return std::filesystem::is_empty (folder);
    }

    class VersionInfoOfKind : public PrivateTemp, public ::testing::WithParamInterface<KindVersion> {};
    class VersionInfo : public PrivateTemp {};
}

TEST_P (VersionInfoOfKind, IsTheEmbeddedFilesVersionDatedByTheBuild)
{
    const KindVersion& expected = GetParam();
    VS_FIXEDFILEINFO record = filledRecord();

    ASSERT_EQ (get_version_info (expected.kind, &record), UDI_OK);

    EXPECT_EQ (record.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ (record.dwFileVersionMS, expected.versionMS);
    EXPECT_EQ (record.dwFileVersionLS, expected.versionLS);
    FILETIME date;
    ASSERT_TRUE (SystemTimeToFileTime (&expected.fileDate, &date));
    EXPECT_EQ (record.dwFileDateMS, date.dwHighDateTime);
    EXPECT_EQ (record.dwFileDateLS, date.dwLowDateTime);

    EXPECT_TRUE (sameRecord (driver_version_cache[expected.kind], record));
    EXPECT_TRUE (isEmpty (temp.path())) << "the temporary copy is deleted again";
}

INSTANTIATE_TEST_SUITE_P (VersionOfEachKind, VersionInfoOfKind, ::testing::ValuesIn (kindVersions));

TEST_F (VersionInfo, ComesFromTheCacheOnceRead)
{
    VS_FIXEDFILEINFO first = filledRecord();
    ASSERT_EQ (get_version_info (UDI_DRIVER_WINUSB, &first), UDI_OK);

    // Neither TEMP nor the version functions are needed any more.
    ScopedEnvironment noTemp (L"TEMP", nullptr);
    system_function_hide ("Version", "GetFileVersionInfoSizeW");
    VS_FIXEDFILEINFO second = filledRecord();
    EXPECT_EQ (get_version_info (UDI_DRIVER_WINUSB, &second), UDI_OK);
    EXPECT_TRUE (sameRecord (first, second));
}

TEST_F (VersionInfo, RefusesWhatHasNoVersionFile)
{
    for (udi_driver_kind kind : { UDI_DRIVER_USER, UDI_DRIVER_KIND_COUNT, -1 })
    {
        VS_FIXEDFILEINFO record = filledRecord();
        EXPECT_EQ (get_version_info (kind, &record), UDI_ERR_BAD_ARGUMENT) << kind;
        EXPECT_TRUE (sameRecord (record, filledRecord()));
    }
    EXPECT_EQ (get_version_info (UDI_DRIVER_WINUSB, nullptr), UDI_ERR_BAD_ARGUMENT);

    VS_FIXEDFILEINFO record = filledRecord();
    EXPECT_EQ (get_version_info (UDI_DRIVER_USB_CDC, &record), UDI_ERR_MISSING);
    EXPECT_TRUE (sameRecord (record, filledRecord()));
}

TEST_F (VersionInfo, NeedsTemp)
{
    StreamCapture log;
    ScopedEnvironment noTemp (L"TEMP", nullptr);
    VS_FIXEDFILEINFO record = filledRecord();

    EXPECT_EQ (get_version_info (UDI_DRIVER_WINUSB, &record), UDI_ERR_OUT_OF_RESOURCES);
    log.finish();
    EXPECT_EQ (log.err(), "libudi:warning [get_version_info] Unable to use TEMP to extract file\n");
    EXPECT_TRUE (sameRecord (record, filledRecord()));
    EXPECT_EQ (driver_version_cache[UDI_DRIVER_WINUSB].dwSignature, 0u);
}

TEST_F (VersionInfo, CreatesAMissingTempFolderAndRefusesAFile)
{
    const auto missing = temp.path() / "not" / "yet";
    {
        ScopedEnvironment movedTemp (L"TEMP", missing.wstring().c_str());
        VS_FIXEDFILEINFO record;
        EXPECT_EQ (get_version_info (UDI_DRIVER_LIBUSB0, &record), UDI_OK);
        EXPECT_TRUE (std::filesystem::is_directory (missing));
    }

    const auto file = temp.path() / "a-file";
    writeFile (file, "x");
    ScopedEnvironment fileTemp (L"TEMP", file.wstring().c_str());
    StreamCapture log;
    VS_FIXEDFILEINFO record;
    EXPECT_EQ (get_version_info (UDI_DRIVER_LIBUSBK, &record), UDI_ERR_FILE_ACCESS);
    log.finish();
    EXPECT_NE (log.err().find ("is a file, not a directory"), std::string::npos);
}

TEST_F (VersionInfo, FailsWithoutTheSystemsVersionFunctions)
{
    for (const char* function : { "GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW" })
    {
        system_function_restore_all();
        system_function_hide ("Version", function);
        StreamCapture log;
        VS_FIXEDFILEINFO record = filledRecord();

        EXPECT_EQ (get_version_info (UDI_DRIVER_WINUSB, &record), UDI_ERR_OUT_OF_RESOURCES);
        log.finish();
        EXPECT_EQ (log.err(), std::string ("libudi:error [get_version_info] Unable to locate ")
                                  + function + "() in Version\n\n");
        EXPECT_TRUE (sameRecord (record, filledRecord()));
    }
}

namespace
{
    DWORD WINAPI noVersionResource (LPCWSTR, LPDWORD)
    {
        SetLastError (ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
}

TEST_F (VersionInfo, FileWithoutVersionResourceFailsAndIsDeleted)
{
    system_function_replace ("Version", "GetFileVersionInfoSizeW", (system_function) noVersionResource);
    StreamCapture log;
    VS_FIXEDFILEINFO record = filledRecord();

    EXPECT_EQ (get_version_info (UDI_DRIVER_WINUSB, &record), UDI_ERR_OUT_OF_RESOURCES);
    log.finish();
    EXPECT_EQ (log.err(), "libudi:warning [get_version_info] Unable to allocate buffer for version info\n");
    EXPECT_TRUE (isEmpty (temp.path()));
}

TEST_F (VersionInfo, RefusesATempPathThatWouldBeCut)
{
    // A folder of 240 characters: with the file name the path passes MAX_PATH - 1.
    const auto longTemp = temp.pathOfLength (240);
    ScopedEnvironment movedTemp (L"TEMP", longTemp.wstring().c_str());
    StreamCapture log;
    VS_FIXEDFILEINFO record = filledRecord();

    EXPECT_EQ (get_version_info (UDI_DRIVER_WINUSB, &record), UDI_ERR_OUT_OF_RESOURCES);
    log.finish();
    EXPECT_NE (log.err().find ("libudi:warning [get_version_info] Qualified path is too long: '"),
               std::string::npos);
    EXPECT_TRUE (isEmpty (longTemp)) << "no file of a cut name was written";
}
