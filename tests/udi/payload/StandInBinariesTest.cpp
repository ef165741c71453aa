#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>

#include "support/ChildProcess.h"
#include "support/EmbeddedBytes.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::runCommand;
using udi_test::TempFolder;
using udi_test::writeFile;

namespace
{
    struct StandIn
    {
        size_t row;
        const char* version;
        DWORD fileType;
        WORD machine;
    };

    const StandIn standIns[] = {
        { 0, "1.11.9200.16384", VFT_DLL, IMAGE_FILE_MACHINE_AMD64 },
        { 1, "6.1.7600.16385", VFT_DLL, IMAGE_FILE_MACHINE_AMD64 },
        { 2, "1.2.6.0", VFT_DLL, IMAGE_FILE_MACHINE_I386 },
        { 3, "1.2.6.0", VFT_APP, IMAGE_FILE_MACHINE_I386 },
        { 5, "1.2.6.0", VFT_DLL, IMAGE_FILE_MACHINE_AMD64 },
        { 6, "1.2.6.0", VFT_DRV, IMAGE_FILE_MACHINE_AMD64 },
        { 7, "1.2.6.0", VFT_APP, IMAGE_FILE_MACHINE_AMD64 },
        { 9, "3.0.7.0", VFT_DRV, IMAGE_FILE_MACHINE_AMD64 },
        { 10, "3.0.7.0", VFT_DLL, IMAGE_FILE_MACHINE_AMD64 },
        { 11, "3.0.7.0", VFT_DLL, IMAGE_FILE_MACHINE_I386 },
        { 13, "1.0.0.0", VFT_APP, IMAGE_FILE_MACHINE_AMD64 },
    };

    std::string versionText (const VS_FIXEDFILEINFO& info)
    {
        return std::to_string (HIWORD (info.dwFileVersionMS)) + "."
             + std::to_string (LOWORD (info.dwFileVersionMS)) + "."
             + std::to_string (HIWORD (info.dwFileVersionLS)) + "."
             + std::to_string (LOWORD (info.dwFileVersionLS));
    }

    WORD machineOf (const unsigned char* image)
    {
        LONG headerOffset;
        memcpy (&headerOffset, image + 0x3C, sizeof (headerOffset));
        WORD machine;
        memcpy (&machine, image + headerOffset + 4, sizeof (machine));
        return machine;
    }

    class StandInBinaries : public ::testing::TestWithParam<StandIn> {};
}

TEST_P (StandInBinaries, StateTheVersionOfTheFileTheyStandFor)
{
    const StandIn& expected = GetParam();
    const embedded_file& row = embedded_files[expected.row];
    SCOPED_TRACE (std::string (row.subfolder) + "\\" + row.file_name);

    EXPECT_EQ (machineOf (row.data), expected.machine);

    TempFolder scratch;
    const auto file = scratch.path() / row.file_name;
    writeFile (file, bytesOf (row));

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW (file.wstring().c_str(), &handle);
    ASSERT_GT (size, 0u);
    std::vector<unsigned char> block (size);
    ASSERT_TRUE (GetFileVersionInfoW (file.wstring().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    ASSERT_TRUE (VerQueryValueW (block.data(), L"\\", (LPVOID*) &info, &infoSize));
    ASSERT_GE (infoSize, sizeof (VS_FIXEDFILEINFO));
    EXPECT_EQ (info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ (versionText (*info), expected.version);
    EXPECT_EQ (info->dwFileType, expected.fileType);

    wchar_t* originalName = nullptr;
    UINT nameLength = 0;
    ASSERT_TRUE (VerQueryValueW (block.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                                 (LPVOID*) &originalName, &nameLength));
    EXPECT_EQ (std::filesystem::path (originalName).string(), row.file_name);
}

INSTANTIATE_TEST_SUITE_P (EveryPayloadBinary, StandInBinaries, ::testing::ValuesIn (standIns));

namespace
{
    struct FilterCall
    {
        const wchar_t* arguments;
        int exitCode;
        const char* firstLine;     // nullptr: no output at all
    };

    const FilterCall filterCalls[] = {
        { L"install -d=USB\\VID_6E3C&PID_0222", 0,
          "install-filter: asked to install the libusb-win32 filter for the device 'USB\\VID_6E3C&PID_0222'\n" },
        { L"uninstall -d=USB\\VID_6E3C&PID_0222&MI_01", 0,
          "install-filter: asked to uninstall the libusb-win32 filter for the device "
          "'USB\\VID_6E3C&PID_0222&MI_01'\n" },
        { L"", 2, nullptr },
        { L"install", 2, nullptr },
        { L"install -d=", 2, nullptr },
        { L"remove -d=USB\\VID_6E3C&PID_0222", 2, nullptr },
        { L"install -d=USB\\VID_6E3C&PID_0222 -f", 2, nullptr },
    };
}

// Filter mode runs its course on the stand-in, whose lines say that nothing
// was installed. (The 32-bit one is built from the same source; this Wine
// runs 64-bit programs only.)
TEST (StandInConsolePrograms, FilterInstallerSaysWhatItWasAsked)
{
    TempFolder scratch;
    const embedded_file& file = embedded_files[7];
    const auto program = scratch.path() / file.file_name;
    writeFile (program, bytesOf (file));

    for (const FilterCall& call : filterCalls)
    {
        SCOPED_TRACE (udi_test::toUtf8 (call.arguments));
        std::string output;
        EXPECT_EQ (runCommand (L"\"" + program.wstring() + L"\" " + call.arguments, &output, true),
                   call.exitCode);
        // Text mode: each line ends in CR LF.
        output.erase (std::remove (output.begin(), output.end(), '\r'), output.end());
        if (call.firstLine == nullptr)
        {
            EXPECT_EQ (output.rfind ("usage: install-filter", 0), 0u) << output;
            continue;
        }
        EXPECT_EQ (output, std::string (call.firstLine)
                               + "install-filter: this is a stand-in: the payload carries no filter driver\n"
                                 "install-filter: nothing was changed\n");
    }
}
