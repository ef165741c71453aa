#include <gtest/gtest.h>

#include <string>

#include "EmbeddedBytes.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"
#include "udi/libudi.h"

namespace fs = std::filesystem;

using udi_test::readFile;
using udi_test::StreamCapture;
using udi_test::TempFolder;
using udi_test::writeFile;

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
