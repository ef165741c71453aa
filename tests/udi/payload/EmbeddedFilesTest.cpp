#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>

#include "support/EmbeddedBytes.h"
#include "udi/internal.h"

namespace
{
    // A line feed without its carriage return, or the other way round.
    bool hasBareLineEnd (const std::string& text)
    {
        for (size_t i = 0; i < text.size(); ++i)
        {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
                return true;
            if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
                return true;
        }
        return false;
    }

    bool endsWith (const std::string& text, const std::string& end)
    {
        return text.size() >= end.size() && text.compare (text.size() - end.size(), end.size(), end) == 0;
    }

    std::string templateText (const char* name)
    {
        const embedded_file* row = find_embedded_template (name);
        return row != nullptr ? bytesOf (*row) : std::string();
    }

    struct ExpectedRow
    {
        const char* subfolder;
        const char* fileName;
        int64_t creationTime;
    };

    const ExpectedRow expectedRows[] = {
        { "amd64", "WdfCoInstaller01011.dll", 1592901020 },
        { "amd64", "winusbcoinstaller2.dll", 1592901026 },
        { "x86", "libusb0_x86.dll", 1615190401 },
        { "x86", "install-filter.exe", 1615190401 },
        { "amd64", "libusb0_x86.dll", 1615190401 },
        { "amd64", "libusb0.dll", 1615190401 },
        { "amd64", "libusb0.sys", 1615190401 },
        { "amd64", "install-filter.exe", 1615190401 },
        { "license\\libusb0", "installer_license.txt", 1615190401 },
        { "amd64", "libusbK.sys", 1615190764 },
        { "amd64", "libusbK.dll", 1615190764 },
        { "x86", "libusbK.dll", 1615190764 },
        { "amd64", "libusbK_x86.dll", 1615190764 },
        { ".", "installer_x64.exe", 1615189875 },
        { "", "winusb.inf.in", 1615188884 },
        { "", "libusb0.inf.in", 1615188884 },
        { "", "libusbk.inf.in", 1615188884 },
        { "", "usbser.inf.in", 1615188884 },
        { "", "winusb.cat.in", 1615188884 },
        { "", "libusb0.cat.in", 1615188884 },
        { "", "libusbk.cat.in", 1615188884 },
        { "", "usbser.cat.in", 1615188884 },
    };

    const char* const infTemplates[] = { "winusb.inf.in", "libusb0.inf.in", "libusbk.inf.in",
                                         "usbser.inf.in" };
    const char* const allTemplates[] = { "winusb.inf.in", "libusb0.inf.in", "libusbk.inf.in",
                                         "usbser.inf.in", "winusb.cat.in", "libusb0.cat.in",
                                         "libusbk.cat.in", "usbser.cat.in" };
}

TEST (EmbeddedFiles, HoldsTheTwentyTwoRowsInOrder)
{
    ASSERT_EQ (embedded_files_count, std::size (expectedRows));
    for (size_t i = 0; i < embedded_files_count; ++i)
    {
        SCOPED_TRACE ("row " + std::to_string (i));
        EXPECT_STREQ (embedded_files[i].subfolder, expectedRows[i].subfolder);
        EXPECT_STREQ (embedded_files[i].file_name, expectedRows[i].fileName);
        EXPECT_EQ (embedded_files[i].creation_time, expectedRows[i].creationTime);
        EXPECT_GT (embedded_files[i].size, 0u);
    }
}

TEST (EmbeddedFiles, RowsOfTheSameFileHoldTheSameBytes)
{
    // The 32-bit libusb-win32 DLL, and the 32-bit libusbK DLL, each twice.
    EXPECT_EQ (bytesOf (embedded_files[2]), bytesOf (embedded_files[4]));
    EXPECT_EQ (bytesOf (embedded_files[11]), bytesOf (embedded_files[12]));
    EXPECT_NE (bytesOf (embedded_files[5]), bytesOf (embedded_files[10]));
}

TEST (EmbeddedFiles, PayloadBinariesAreWindowsImages)
{
    for (size_t i = 0; i < 14; ++i)
    {
        if (i == 8)
            continue;  // the licence text
        SCOPED_TRACE (embedded_files[i].file_name);
        EXPECT_EQ (bytesOf (embedded_files[i]).substr (0, 2), "MZ");
    }
}

TEST (EmbeddedFiles, LicenceCarriesTheGplAndTheLgplWithWindowsLineEnds)
{
    const std::string licence = bytesOf (embedded_files[8]);
    EXPECT_NE (licence.find ("GNU GENERAL PUBLIC LICENSE\r\n                       Version 3, 29 June 2007"),
               std::string::npos);
    EXPECT_NE (licence.find ("GNU LESSER GENERAL PUBLIC LICENSE\r\n                       Version 3, 29 June 2007"),
               std::string::npos);
    EXPECT_FALSE (hasBareLineEnd (licence));
}

TEST (EmbeddedFiles, FindsRowsByExactName)
{
    EXPECT_EQ (find_embedded_file ("winusbcoinstaller2.dll"), &embedded_files[1]);
    // The first of two rows of one name wins.
    EXPECT_EQ (find_embedded_file ("libusb0_x86.dll"), &embedded_files[2]);
    EXPECT_EQ (find_embedded_file ("WinUSBCoInstaller2.dll"), nullptr);
    EXPECT_EQ (find_embedded_file (""), nullptr);
    EXPECT_EQ (find_embedded_file (nullptr), nullptr);

    EXPECT_EQ (find_embedded_template ("usbser.cat.in"), &embedded_files[21]);
    // Payload rows are not templates.
    EXPECT_EQ (find_embedded_template ("libusb0.sys"), nullptr);
    EXPECT_EQ (find_embedded_template (nullptr), nullptr);
}

TEST (EmbeddedFiles, EveryKindFindsItsTemplatesAndVersionFile)
{
    for (udi_driver_kind kind = UDI_DRIVER_WINUSB; kind <= UDI_DRIVER_USB_CDC; ++kind)
    {
        const driver_kind_info* info = driver_kind_info_of (kind);
        ASSERT_NE (info, nullptr);
        SCOPED_TRACE (info->display_name);
        EXPECT_NE (find_embedded_template (info->inf_template), nullptr);
        EXPECT_NE (find_embedded_template (info->cat_template), nullptr);
        if (kind != UDI_DRIVER_USB_CDC)
        {
            EXPECT_NE (find_embedded_file (info->version_file), nullptr);
        }
    }
}

TEST (EmbeddedFiles, WinUsbTemplatesAreTheKnownTexts)
{
    const std::string inf = templateText ("winusb.inf.in");
    EXPECT_EQ (inf.substr (0, 30), "; #INF_FILENAME#\r\n[Strings]\r\nD");
    EXPECT_TRUE (endsWith (inf, "\r\nWdfCoInstaller#WDF_VERSION#.dll = 1,arm\r\n"));
    EXPECT_NE (inf.find ("HKR,,CoInstallers32,0x00010000,\"WdfCoInstaller#WDF_VERSION#.dll,"
                         "WdfCoInstaller\",\"WinUSBCoInstaller2.dll\"\r\n"),
               std::string::npos);

    EXPECT_EQ (templateText ("winusb.cat.in"),
               "# List of the binaries referenced by the WinUSB inf\r\n"
               "# These are used to generate and self-sign a .cat file\r\n"
               "\r\n"
               "WdfCoInstaller#WDF_VERSION#.dll\r\n"
               "winusbcoinstaller2.dll");
}

TEST (EmbeddedFiles, TemplatesEndLinesWithCrLfAndUseOnlyKnownTokens)
{
    const std::set<std::string> tokens = {
        "INF_FILENAME", "CAT_FILENAME", "DEVICE_DESCRIPTION", "DEVICE_HARDWARE_ID",
        "DEVICE_INTERFACE_GUID", "DEVICE_MANUFACTURER", "DRIVER_DATE", "DRIVER_VERSION",
        "USE_DEVICE_INTERFACE_GUID", "WDF_VERSION", "KMDF_VERSION", "LK_COMMA", "LK_DLL",
        "LK_X86_DLL", "LK_EQ_X86", "LK_EQ_X64"
    };
    const std::regex token ("#([A-Z0-9_]+)#");

    for (const char* name : allTemplates)
    {
        SCOPED_TRACE (name);
        const std::string text = templateText (name);
        ASSERT_FALSE (text.empty());
        EXPECT_FALSE (hasBareLineEnd (text));
        for (std::sregex_iterator it (text.begin(), text.end(), token), end; it != end; ++it)
            EXPECT_EQ (tokens.count ((*it)[1].str()), 1u) << (*it)[0].str();
    }
}

TEST (EmbeddedFiles, InfTemplatesShareStringsCatalogAndDriverVersionLines)
{
    for (const char* name : infTemplates)
    {
        SCOPED_TRACE (name);
        const std::string text = templateText (name);
        for (const char* line : { "\r\n[Strings]\r\n",
                                  "\r\nDeviceName = \"#DEVICE_DESCRIPTION#\"\r\n",
                                  "\r\nVendorName = \"#DEVICE_MANUFACTURER#\"\r\n",
                                  "\r\nSourceName = \"#DEVICE_DESCRIPTION# Install Disk\"\r\n",
                                  "\r\nDeviceID   = \"#DEVICE_HARDWARE_ID#\"\r\n",
                                  "\r\nDeviceGUID = \"#DEVICE_INTERFACE_GUID#\"\r\n",
                                  "\r\nCatalogFile = #CAT_FILENAME#\r\n",
                                  "\r\nDriverVer   = #DRIVER_DATE#, " })
            EXPECT_NE (text.find (line), std::string::npos) << line;
    }
}

TEST (EmbeddedFiles, EachInfTemplateInstallsItsOwnDriver)
{
    const std::string libusb0 = templateText ("libusb0.inf.in");
    EXPECT_NE (libusb0.find ("Class       = \"libusb-win32 devices\""), std::string::npos);
    EXPECT_NE (libusb0.find ("ServiceBinary = %12%\\libusb0.sys"), std::string::npos);
    for (const char* token : { "#LK_COMMA#", "#LK_DLL#", "#LK_X86_DLL#", "#LK_EQ_X86#", "#LK_EQ_X64#" })
        EXPECT_NE (libusb0.find (token), std::string::npos) << token;

    const std::string libusbk = templateText ("libusbk.inf.in");
    EXPECT_EQ (libusbk.substr (0, 3), "\xEF\xBB\xBF");
    EXPECT_NE (libusbk.find ("ServiceBinary = %12%\\libusbK.sys"), std::string::npos);
    EXPECT_NE (libusbk.find ("KmdfLibraryVersion = #KMDF_VERSION#"), std::string::npos);
    EXPECT_NE (libusbk.find ("WdfCoInstaller#WDF_VERSION#.dll,WdfCoInstaller"), std::string::npos);

    const std::string usbser = templateText ("usbser.inf.in");
    EXPECT_NE (usbser.find ("Class       = Ports"), std::string::npos);
    EXPECT_NE (usbser.find ("DriverVer   = #DRIVER_DATE#, 1.0.0.0\r\n"), std::string::npos);
    EXPECT_NE (usbser.find ("ServiceBinary = %12%\\usbser.sys"), std::string::npos);

    // Only the libusbK template starts with a byte-order mark.
    for (const char* name : { "winusb.inf.in", "libusb0.inf.in", "usbser.inf.in" })
        EXPECT_EQ (templateText (name).substr (0, 2), "; ") << name;
}

TEST (EmbeddedFiles, CatalogTemplatesListTheFilesTheirInfNames)
{
    const std::string usbser = templateText ("usbser.cat.in");
    EXPECT_EQ (usbser.find_first_not_of ("\r\n", usbser.find ('\n')), std::string::npos)
        << "the CDC list holds one comment line only";
    EXPECT_EQ (usbser[0], '#');

    const std::string libusb0 = templateText ("libusb0.cat.in");
    for (const char* line : { "\r\nlibusb0.sys\r\n", "\r\nlibusb0.dll\r\n", "\r\nlibusb0_x86.dll\r\n",
                              "\r\n#LK_DLL#\r\n", "\r\n#LK_X86_DLL#" })
        EXPECT_NE (libusb0.find (line), std::string::npos) << line;

    const std::string libusbk = templateText ("libusbk.cat.in");
    for (const char* line : { "\r\nWdfCoInstaller#WDF_VERSION#.dll\r\n", "\r\nlibusbK.sys\r\n",
                              "\r\nlibusbK.dll\r\n", "\r\nlibusbK_x86.dll" })
        EXPECT_NE (libusbk.find (line), std::string::npos) << line;
}
