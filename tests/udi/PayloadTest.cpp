// What payload.c does with the embedded files: the driver kinds and their
// support, the extraction into a package folder, the version record of a
// package and the Android ids.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include "support/EmbeddedBytes.h"
#include "support/ScopedEnvironment.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

namespace fs = std::filesystem;

using udi_test::readFile;
using udi_test::ScopedEnvironment;
using udi_test::StreamCapture;
using udi_test::TempFolder;
using udi_test::writeFile;

namespace
{
    // A record whose every byte is 0xAB, so that a field the library fills, or
    // leaves alone, shows.
    VS_FIXEDFILEINFO filledRecord()
    {
        VS_FIXEDFILEINFO record;
        std::memset (&record, 0xAB, sizeof (record));
        return record;
    }

    bool sameRecord (const VS_FIXEDFILEINFO& a, const VS_FIXEDFILEINFO& b)
    {
        return std::memcmp (&a, &b, sizeof (a)) == 0;
    }

    // TEMP of this process points at a folder of the test's own, and the
    // library's version records start and end empty, so that no test sees
    // another's temporary files or cached versions.
    class PrivateTemp : public ::testing::Test
    {
    protected:
        void SetUp() override { std::memset (driver_version_cache, 0, sizeof (driver_version_cache)); }

        void TearDown() override
        {
            system_function_restore_all();
            std::memset (driver_version_cache, 0, sizeof (driver_version_cache));
        }

        udi_test::TempFolder temp;
        udi_test::ScopedEnvironment tempVariable { L"TEMP", temp.wide().c_str() };
    };

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

namespace
{
    const size_t payloadRows = 14;

    fs::path fileOf (const fs::path& folder, const embedded_file& row)
    {
        return folder / row.subfolder / row.file_name;
    }

    size_t countFiles (const fs::path& folder)
    {
        size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator (folder))
            count += entry.is_regular_file() ? 1 : 0;
        return count;
    }

    void expectPayloadIn (const fs::path& folder)
    {
        for (size_t i = 0; i < payloadRows; ++i)
        {
            SCOPED_TRACE (fileOf (folder, embedded_files[i]).string());
            EXPECT_EQ (readFile (fileOf (folder, embedded_files[i])), bytesOf (embedded_files[i]));
        }
        EXPECT_EQ (countFiles (folder), payloadRows);
    }
}

TEST (ExtractBinaries, WritesThePayloadIntoANewFolder)
{
    TempFolder scratch;
    const fs::path folder = scratch.path() / "package" / "drivers";
    StreamCapture log;

    ASSERT_EQ (extract_binaries (folder.string().c_str()), UDI_OK);

    for (const char* subfolder : { "amd64", "x86", "license\\libusb0" })
        EXPECT_TRUE (fs::is_directory (folder / subfolder)) << subfolder;
    EXPECT_TRUE (fs::is_regular_file (folder / "installer_x64.exe"));
    expectPayloadIn (folder);
    log.finish();
    EXPECT_EQ (log.out(), "libudi:info [extract_binaries] Successfully extracted driver files to '"
                              + folder.string() + "'\n");
    EXPECT_EQ (log.err(), "");
}

TEST (ExtractBinaries, OverwritesAnEarlierExtraction)
{
    TempFolder scratch;
    const fs::path folder = scratch.path() / "package";
    ASSERT_EQ (extract_binaries (folder.string().c_str()), UDI_OK);

    writeFile (folder / "amd64" / "libusb0.sys", std::string (200000, 'x'));
    writeFile (folder / "installer_x64.exe", "");
    fs::remove (folder / "x86" / "libusbK.dll");

    ASSERT_EQ (extract_binaries (folder.string().c_str()), UDI_OK);
    expectPayloadIn (folder);
}

TEST (ExtractBinaries, StopsAtTheFirstPathPastMaxPath)
{
    // With a folder of 229 characters the co-installer's path is exactly
    // MAX_PATH - 1 characters long and still fits; the licence, in the
    // deepest subfolder, is the first that does not.
    TempFolder scratch;
    const fs::path folder = scratch.pathOfLength (229);
    StreamCapture log;

    EXPECT_EQ (extract_binaries (folder.string().c_str()), UDI_ERR_OUT_OF_RESOURCES);

    const fs::path coInstaller = fileOf (folder, embedded_files[0]);
    EXPECT_EQ (coInstaller.string().size(), 259u);
    EXPECT_EQ (readFile (coInstaller), bytesOf (embedded_files[0]));
    for (size_t i = 1; i < 8; ++i)
        EXPECT_TRUE (fs::exists (fileOf (folder, embedded_files[i]))) << i;

    EXPECT_TRUE (fs::is_directory (folder / "license" / "libusb0"))
        << "the row's subfolder is made before its path is checked";
    for (size_t i = 8; i < payloadRows; ++i)
        EXPECT_FALSE (fs::exists (fileOf (folder, embedded_files[i]))) << i;

    const std::string licencePath = fileOf (folder, embedded_files[8]).string();
    log.finish();
    EXPECT_EQ (log.err(), "libudi:error [extract_binaries] Qualified path is too long: '"
                              + licencePath.substr (0, 259) + "'\n");
    EXPECT_EQ (log.out(), "");
}

TEST (ExtractBinaries, MakesNoFolderOfACutName)
{
    // folder\amd64 itself would pass MAX_PATH - 1 characters.
    TempFolder scratch;
    const fs::path folder = scratch.pathOfLength (255);
    StreamCapture log;

    EXPECT_EQ (extract_binaries (folder.string().c_str()), UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_TRUE (fs::is_empty (scratch.path()));
    log.finish();
    EXPECT_NE (log.err().find ("libudi:error [extract_binaries] Qualified path is too long: '"),
               std::string::npos);
}

TEST (ExtractBinaries, RefusesNoFolderOrAFile)
{
    EXPECT_EQ (extract_binaries (nullptr), UDI_ERR_BAD_ARGUMENT);

    TempFolder scratch;
    const fs::path file = scratch.path() / "not-a-folder";
    writeFile (file, "x");
    StreamCapture log;

    EXPECT_EQ (extract_binaries (file.string().c_str()), UDI_ERR_FILE_ACCESS);
    EXPECT_EQ (readFile (file), "x");
    log.finish();
    EXPECT_NE (log.err().find ("[check_dir]"), std::string::npos);
}

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

namespace
{
    std::vector<std::wstring> versionFilesRead;

    DWORD WINAPI recordingVersionSize (LPCWSTR path, LPDWORD handle)
    {
        versionFilesRead.push_back (path);
        return GetFileVersionInfoSizeW (path, handle);
    }
}

TEST_F (VersionInfo, ReadsACopyUnderANewNameAndLeavesAFileOfTheVersionFilesName)
{
    // The copy was once written over this name, and deleted again.
    const auto planted = temp.path() / "winusbcoinstaller2.dll";
    writeFile (planted, "not ours");
    versionFilesRead.clear();
    system_function_replace ("Version", "GetFileVersionInfoSizeW", (system_function) recordingVersionSize);

    for (int read = 0; read < 2; ++read)
    {
        std::memset (driver_version_cache, 0, sizeof (driver_version_cache));
        VS_FIXEDFILEINFO record = filledRecord();
        ASSERT_EQ (get_version_info (UDI_DRIVER_WINUSB, &record), UDI_OK);
        EXPECT_EQ (record.dwFileVersionMS, (6u << 16) | 1u);
    }

    ASSERT_EQ (versionFilesRead.size(), 2u);
    EXPECT_NE (versionFilesRead[0], versionFilesRead[1]) << "a new name at each read";
    for (const auto& copy : versionFilesRead)
    {
        EXPECT_EQ (fs::path (copy).parent_path(), temp.path());
        EXPECT_NE (fs::path (copy).filename(), planted.filename());
    }
    EXPECT_EQ (readFile (planted), "not ours");
    EXPECT_EQ (countFiles (temp.path()), 1u) << "the copies are deleted again";
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
