// The preparation of a driver package. Every INF is read back through Wine's
// own INF parser. Wine 8 puts nothing into a catalog and writes none, so the
// catalog functions that it only stubs are recording fakes where a test
// needs a catalog to come about; the signing that would follow is kept from
// making keys or touching the machine's stores (its certificate function is
// hidden and its stores are in memory), and only its subject is recorded.
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DeviceListing.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/ScopedEnvironment.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevice;
using udi_test::FakeUsbDevices;
using udi_test::HeldLock;
using udi_test::ScopedEnvironment;
using udi_test::StreamCapture;
using udi_test::TempFolder;

namespace {

const char *const infName = "deviceDrv.inf";

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::wstring wide(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

// ---- Reading an INF back through Wine's parser -------------------------------

class Inf {
public:
    explicit Inf(const std::wstring &path)
    {
        UINT errorLine = 0;
        handle = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
    }
    ~Inf()
    {
        if (handle != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(handle);
    }
    Inf(const Inf &) = delete;
    Inf &operator=(const Inf &) = delete;

    bool opened() const { return handle != INVALID_HANDLE_VALUE; }

    // Field index of the line of key in section, or "<none>".
    std::string value(const wchar_t *section, const wchar_t *key, DWORD field = 1) const
    {
        INFCONTEXT line;
        if (!SetupFindFirstLineW(handle, section, key, &line))
            return "<none>";
        return fieldOf(line, field);
    }

    // Every field of every line of section, the lines' keys left out.
    std::vector<std::string> lines(const wchar_t *section) const
    {
        std::vector<std::string> result;
        INFCONTEXT line;
        for (BOOL found = SetupFindFirstLineW(handle, section, nullptr, &line); found;
             found = SetupFindNextLine(&line, &line)) {
            std::string text;
            for (DWORD field = 1; field <= SetupGetFieldCount(&line); field++)
                text += (field > 1 ? "," : "") + fieldOf(line, field);
            result.push_back(text);
        }
        return result;
    }

    // Each line of a file list section: the file and its copy flags (0 when
    // it gives none).
    std::vector<std::pair<std::string, INT>> copyFlags(const wchar_t *section) const
    {
        std::vector<std::pair<std::string, INT>> result;
        INFCONTEXT line;
        for (BOOL found = SetupFindFirstLineW(handle, section, nullptr, &line); found;
             found = SetupFindNextLine(&line, &line)) {
            INT flags = 0;
            if (!SetupGetIntField(&line, 4, &flags))
                flags = 0;
            result.emplace_back(fieldOf(line, 1), flags);
        }
        return result;
    }

private:
    static std::string fieldOf(INFCONTEXT &line, DWORD field)
    {
        wchar_t buffer[1100];
        if (!SetupGetStringFieldW(&line, field, buffer, 1100, nullptr))
            return "<none>";
        return udi_test::toUtf8(buffer);
    }

    HINF handle = INVALID_HANDLE_VALUE;
};

// The local date of a moment given in seconds since 1970 UTC, as "MM/DD/YYYY".
std::string localDate(int64_t seconds)
{
    const uint64_t time = file_time_of_unix_time(seconds);
    FILETIME utc = { static_cast<DWORD>(time), static_cast<DWORD>(time >> 32) }, local;
    SYSTEMTIME date;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &date);
    char text[16];
    snprintf(text, sizeof(text), "%02u/%02u/%04u", unsigned(date.wMonth), unsigned(date.wDay),
             unsigned(date.wYear));
    return text;
}

const int64_t winusbCoInstallerTime = 1592901026;  // 2020-06-23 08:30:26 UTC

const std::regex upperCaseGuid("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");

// ---- Recording fakes ---------------------------------------------------------

BOOL WINAPI notAnAdministrator()
{
    return FALSE;
}

// What a catalog that came about would hold, as Wine leaves it empty.
struct CatalogCalls {
    int opened = 0;
    std::wstring path;
    std::vector<std::pair<std::wstring, std::wstring>> catalogAttributes;
    std::vector<std::wstring> files;  // the "File" attribute of each member
    int persisted = 0;
};
CatalogCalls catalogCalls;

typedef HANDLE(WINAPI *cat_open_fn)(LPWSTR, DWORD, HCRYPTPROV, DWORD, DWORD);

HANDLE WINAPI recordingCatOpen(LPWSTR path, DWORD flags, HCRYPTPROV provider, DWORD version,
                               DWORD encoding)
{
    catalogCalls.opened++;
    catalogCalls.path = path;
    const auto real = reinterpret_cast<cat_open_fn>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"wintrust.dll"), "CryptCATOpen")));
    return real(path, flags, provider, version, encoding);
}

char fakeAttribute[64], fakeMember[64];

void *WINAPI recordingPutCatAttribute(HANDLE, LPWSTR name, DWORD, DWORD size, BYTE *data)
{
    catalogCalls.catalogAttributes.emplace_back(
        name, std::wstring(reinterpret_cast<const wchar_t *>(data), size / sizeof(wchar_t)));
    return fakeAttribute;
}

void *WINAPI fakePutMember(HANDLE, LPWSTR, LPWSTR, GUID *, DWORD, DWORD, BYTE *)
{
    return fakeMember;
}

void *WINAPI recordingPutAttribute(HANDLE, void *, LPWSTR name, DWORD, DWORD size, BYTE *data)
{
    if (std::wstring(name) == L"File")
        catalogCalls.files.emplace_back(reinterpret_cast<const wchar_t *>(data),
                                        size / sizeof(wchar_t) - 1);
    return fakeAttribute;
}

BOOL WINAPI recordingPersist(HANDLE)
{
    catalogCalls.persisted++;
    return TRUE;
}

// The subjects the signing looked certificates up by.
std::vector<std::string> signingSubjects;

BOOL WINAPI recordingStrToName(DWORD encoding, LPCSTR text, DWORD type, void *reserved,
                               BYTE *encoded, DWORD *size, LPCSTR *error)
{
    if (encoded == nullptr)
        signingSubjects.push_back(text);
    return CertStrToNameA(encoding, text, type, reserved, encoded, size, error);
}

HCERTSTORE WINAPI memoryStore(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void *)
{
    return CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
}

template <typename F>
void replace(const char *module, const char *name, F function)
{
    system_function_replace(module, name, reinterpret_cast<system_function>(function));
}

// A catalog that comes about, and a signing that records and stops.
void fakeCatalogAndSigning()
{
    catalogCalls = CatalogCalls();
    signingSubjects.clear();
    replace("WinTrust", "CryptCATOpen", recordingCatOpen);
    replace("WinTrust", "CryptCATPutCatAttrInfo", recordingPutCatAttribute);
    replace("WinTrust", "CryptCATPutMemberInfo", fakePutMember);
    replace("WinTrust", "CryptCATPutAttrInfo", recordingPutAttribute);
    replace("WinTrust", "CryptCATPersistStore", recordingPersist);
    replace("Crypt32", "CertStrToNameA", recordingStrToName);
    replace("Crypt32", "CertOpenStore", memoryStore);
    system_function_hide("Crypt32", "CertCreateSelfSignCertificate");
}

// ---- One preparation ------------------------------------------------------

struct Outcome {
    udi_result result = 1;
    std::string out, err;
};

Outcome prepareDriver(const udi_device_node *device, const char *folder, const char *name,
                      const udi_prepare_options *options)
{
    StreamCapture capture;
    Outcome outcome;
    outcome.result = udi_prepare_driver(device, folder, name, options);
    capture.finish();
    outcome.out = capture.out();
    outcome.err = capture.err();
    return outcome;
}

udi_device_node node(uint16_t vendor, uint16_t product, const char *description = "Kelvane DFU")
{
    udi_device_node device = {};
    device.vendor_id = vendor;
    device.product_id = product;
    device.description = const_cast<char *>(description);
    return device;
}

class Preparation : public testing::Test {
protected:
    void TearDown() override { system_function_restore_all(); }

    Outcome prepare(const udi_device_node &device, const udi_prepare_options *options,
                    const char *name = infName)
    {
        return prepareDriver(&device, folder.utf8().c_str(), name, options);
    }
    std::wstring inf(const char *name = infName) const { return folder.wide(wide(name)); }
    std::wstring cat() const { return folder.wide(L"deviceDrv.cat"); }

    TempFolder folder;
    udi_prepare_options zero = {};
};

// ---- The application's call, on a device listed as it lists it ------------

class ApplicationCall : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tree = std::make_unique<FakeUsbDevices>();
        ASSERT_TRUE(tree->add({ L"USB\\VID_6E3C&PID_0222\\UDITEST21",
                                { L"USB\\VID_6E3C&PID_0222&REV_0100", L"USB\\VID_6E3C&PID_0222" },
                                {}, L"Kelvane DFU", L"", L"", L"" }));
        folder = std::make_unique<TempFolder>();
        const udi_list_options listing = { 1, 0, 0 };
        udi_device_node *head = nullptr;
        ASSERT_EQ(udi_create_list(&head, &listing), UDI_OK);
        const udi_device_node *device = head;
        while (device != nullptr && !contains(device->device_id, "UDITEST21"))
            device = device->next_device;
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->driver_service, nullptr);

        fakeCatalogAndSigning();
        const udi_prepare_options options = {};
        first = prepareDriver(device, folder->utf8().c_str(), infName, &options);
        firstInf = udi_test::readFile(folder->wide(L"deviceDrv.inf"));
        calls = catalogCalls;
        subjects = signingSubjects;
        second = prepareDriver(device, folder->utf8().c_str(), infName, &options);
        system_function_restore_all();
        udi_destroy_list(head);
    }

    static void TearDownTestSuite()
    {
        system_function_restore_all();
        folder.reset();
        tree.reset();
    }

    static std::unique_ptr<FakeUsbDevices> tree;
    static std::unique_ptr<TempFolder> folder;
    static Outcome first, second;
    static std::string firstInf;
    static CatalogCalls calls;
    static std::vector<std::string> subjects;
};

std::unique_ptr<FakeUsbDevices> ApplicationCall::tree;
std::unique_ptr<TempFolder> ApplicationCall::folder;
Outcome ApplicationCall::first, ApplicationCall::second;
std::string ApplicationCall::firstInf;
CatalogCalls ApplicationCall::calls;
std::vector<std::string> ApplicationCall::subjects;

TEST_F(ApplicationCall, WritesAWinUsbInfForTheDevice)
{
    ASSERT_EQ(first.result, UDI_OK) << first.err;
    const Inf inf(folder->wide(L"deviceDrv.inf"));
    ASSERT_TRUE(inf.opened());
    EXPECT_EQ(inf.value(L"Strings", L"DeviceID"), "VID_6E3C&PID_0222");
    EXPECT_EQ(inf.value(L"Strings", L"DeviceName"), "Kelvane DFU");
    EXPECT_EQ(inf.value(L"Strings", L"SourceName"), "Kelvane DFU Install Disk");
    EXPECT_EQ(inf.value(L"Strings", L"VendorName"), "(Undefined Vendor)");
    EXPECT_TRUE(std::regex_match(inf.value(L"Strings", L"DeviceGUID"), upperCaseGuid))
        << inf.value(L"Strings", L"DeviceGUID");
    EXPECT_EQ(inf.value(L"Version", L"Class"), "USBDevice");
    EXPECT_EQ(inf.value(L"Version", L"CatalogFile"), "deviceDrv.cat");
    EXPECT_EQ(inf.value(L"Version", L"DriverVer", 1), localDate(winusbCoInstallerTime));
    EXPECT_EQ(inf.value(L"Version", L"DriverVer", 2), "6.1.7600.16385");
    EXPECT_EQ(inf.value(L"WinUSB_Install", L"KmdfLibraryVersion"), "1.11");
    EXPECT_EQ(inf.value(L"USB_Install.HW", L"AddReg"), "AddDeviceInterfaceGUID");
    EXPECT_EQ(inf.lines(L"CoInstallers_CopyFiles"),
              (std::vector<std::string>{ "WinUSBCoInstaller2.dll,,,0x00000010",
                                         "WdfCoInstaller01011.dll,,,0x00000010" }));
    EXPECT_EQ(inf.value(L"SourceDisksFiles.amd64", L"WdfCoInstaller01011.dll", 2), "amd64");
    EXPECT_EQ(inf.value(L"WinUSB_ServiceInstall", L"DisplayName"),
              "WinUSB - Kernel Driver " + localDate(winusbCoInstallerTime) + " 6.1.7600.16385");
    EXPECT_TRUE(udi_test::isFile(folder->wide(L"amd64\\winusbcoinstaller2.dll")));
    EXPECT_TRUE(udi_test::isFile(folder->wide(L"installer_x64.exe")));
}

TEST_F(ApplicationCall, InfIsUtf16WithOneMarkAndNoTerminator)
{
    ASSERT_GE(firstInf.size(), 4u);
    EXPECT_EQ(firstInf.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(firstInf.size() % 2, 0u);
    const std::wstring text(reinterpret_cast<const wchar_t *>(firstInf.data() + 2),
                            (firstInf.size() - 2) / 2);
    EXPECT_EQ(text.substr(0, 17), L"; deviceDrv.inf\r\n");
    EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
    EXPECT_EQ(text.find(L'#'), std::wstring::npos) << "a token was left";
    EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
}

TEST_F(ApplicationCall, GivesEachCallAnotherInterfaceGuid)
{
    ASSERT_EQ(second.result, UDI_OK);
    const Inf inf(folder->wide(L"deviceDrv.inf"));
    udi_test::writeFile(folder->wide(L"first.inf"), firstInf);
    const Inf earlier(folder->wide(L"first.inf"));
    EXPECT_TRUE(std::regex_match(inf.value(L"Strings", L"DeviceGUID"), upperCaseGuid));
    EXPECT_NE(inf.value(L"Strings", L"DeviceGUID"), earlier.value(L"Strings", L"DeviceGUID"));
}

TEST_F(ApplicationCall, HandsTheCatalogItsFilesAndHardwareIdAndSignsWithTheDefaultSubject)
{
    EXPECT_EQ(calls.opened, 1);
    EXPECT_EQ(calls.path, folder->wide(L"deviceDrv.cat"));
    ASSERT_FALSE(calls.catalogAttributes.empty());
    EXPECT_EQ(calls.catalogAttributes[0].first, L"HWID1");
    EXPECT_EQ(calls.catalogAttributes[0].second, std::wstring(L"usb\\vid_6e3c&pid_0222") + L'\0');
    // The template's two files, both in amd64, and the INF: nothing else is hashed.
    std::vector<std::wstring> files = calls.files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{ L"devicedrv.inf", L"wdfcoinstaller01011.dll",
                                                 L"winusbcoinstaller2.dll" }));
    EXPECT_EQ(calls.persisted, 1);
    EXPECT_EQ(subjects,
              (std::vector<std::string>{ "CN=USB\\VID_6E3C&PID_0222 (libudi autogenerated)",
                                         "CN=USB\\VID_6E3C&PID_0222 (libudi autogenerated)" }));
}

TEST_F(ApplicationCall, LogsEachStep)
{
    const std::string path = folder->utf8(L"deviceDrv.inf");
    EXPECT_TRUE(contains(first.out, "libudi:info [udi_prepare_driver] Successfully created '"
                                        + path + "'\n"))
        << first.out;
    EXPECT_TRUE(contains(first.out, "libudi:info [udi_prepare_driver] Creating and self-signing "
                                    "a .cat file...\n"));
    // The signing stops where the test keeps it from making a certificate.
    EXPECT_TRUE(contains(first.err, "libudi:warning [udi_prepare_driver] Could not sign cat file\n"))
        << first.err;
    EXPECT_FALSE(contains(first.err, "Could not create cat file"));
}

// ---- Under Wine as it is --------------------------------------------------

TEST_F(Preparation, RealCatalogFailsAsWineDoesAndThePreparationSucceeds)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    const Outcome outcome = prepare(device, &zero);
    EXPECT_EQ(outcome.result, UDI_OK) << outcome.err;
    EXPECT_TRUE(Inf(inf()).opened());
    EXPECT_TRUE(udi_test::isFile(folder.wide(L"amd64\\WdfCoInstaller01011.dll")));
    EXPECT_TRUE(contains(outcome.err, "libudi:warning [CreateCat] "));
    EXPECT_TRUE(contains(outcome.err, "libudi:warning [udi_prepare_driver] Could not create cat file\n"))
        << outcome.err;
    EXPECT_FALSE(contains(outcome.err, "Could not sign cat file"));
    EXPECT_FALSE(udi_test::isFile(cat()));
}

// ---- Arguments --------------------------------------------------------------

struct BadName {
    const char *name;
    const char *infName;
};

class InfNameCheck : public Preparation, public testing::WithParamInterface<BadName> {};

TEST_P(InfNameCheck, RefusesANameWithoutTheInfEnding)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    const Outcome outcome = prepare(device, &zero, GetParam().infName);
    EXPECT_EQ(outcome.result, UDI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] Inf name provided must have a "
                           "'.inf' extension\n");
    EXPECT_FALSE(udi_test::isFolder(folder.wide(L"amd64")));
}

INSTANTIATE_TEST_SUITE_P(PrepareArguments, InfNameCheck, testing::Values(
    BadName{ "ThreeBytes", "inf" }, BadName{ "UpperCase", "deviceDrv.INF" },
    BadName{ "OtherEnding", "deviceDrv.inf.txt" }, BadName{ "Empty", "" }),
    [](const testing::TestParamInfo<BadName> &p) { return std::string(p.param.name); });

TEST_F(Preparation, RefusesNoDeviceNoNameAndNoDescription)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    for (const Outcome &outcome : { prepareDriver(nullptr, folder.utf8().c_str(), infName, &zero),
                                    prepareDriver(&device, folder.utf8().c_str(), nullptr, &zero) }) {
        EXPECT_EQ(outcome.result, UDI_ERR_BAD_ARGUMENT);
        EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] One of the required parameter "
                               "is NULL\n");
    }
    const udi_device_node nameless = node(0x6E3C, 0x0222, nullptr);
    const Outcome outcome = prepare(nameless, &zero);
    EXPECT_EQ(outcome.result, UDI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] The device has no description\n");
    // Refused before the payload.
    EXPECT_FALSE(udi_test::isFolder(folder.wide(L"amd64")));
    EXPECT_FALSE(udi_test::isFile(folder.wide(L"installer_x64.exe")));
    EXPECT_FALSE(udi_test::isFile(inf()));
}

TEST_F(Preparation, ExtractsIntoTempWithoutAFolderAndNeedsOneOfThem)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    {
        ScopedEnvironment temp(L"TEMP", folder.wide().c_str());
        const Outcome outcome = prepareDriver(&device, nullptr, infName, &zero);
        EXPECT_EQ(outcome.result, UDI_OK);
        EXPECT_TRUE(contains(outcome.out, "libudi:info [udi_prepare_driver] No path provided - "
                                          "extracting to '" + folder.utf8() + "'\n"));
        EXPECT_TRUE(Inf(inf()).opened());
    }
    ScopedEnvironment noTemp(L"TEMP", nullptr);
    const Outcome outcome = prepareDriver(&device, nullptr, infName, &zero);
    EXPECT_EQ(outcome.result, UDI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] No path provided and unable to use "
                           "TEMP\n");
}

// Folder, "\" and name may take 259 characters, the longest path there is.
TEST_F(Preparation, RefusesAnInfPathPastTheLongestPath)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    const size_t room = 258 - folder.utf8().size();
    const std::string longest = std::string(room - 4, 'n') + ".inf";
    const std::string tooLong = std::string(room - 3, 'n') + ".inf";
    udi_prepare_options options = {};
    options.skip_catalog = 1;

    // The payload comes first, and stays.
    const Outcome outcome = prepare(device, &options, tooLong.c_str());
    EXPECT_EQ(outcome.result, UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] Qualified path for inf file is too "
                           "long: '" + folder.utf8() + "\\" + tooLong + "\n");
    EXPECT_FALSE(udi_test::isFile(inf(tooLong.c_str())));
    EXPECT_TRUE(udi_test::isFile(folder.wide(L"amd64\\winusbcoinstaller2.dll")));
    EXPECT_TRUE(udi_test::isFile(folder.wide(L"installer_x64.exe")));

    EXPECT_EQ(prepare(device, &options, longest.c_str()).result, UDI_OK);
    EXPECT_TRUE(Inf(inf(longest.c_str())).opened());
}

// A cut folder would be some other folder, made and filled in its place.
TEST_F(Preparation, RefusesAFolderItWouldCut)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    const std::string folderName = folder.utf8() + "\\" + std::string(300 - folder.utf8().size(), 'f');
    const Outcome outcome = prepareDriver(&device, folderName.c_str(), infName, &zero);
    EXPECT_EQ(outcome.result, UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] Qualified path for inf file is too "
                           "long: '" + folderName + "\\" + infName + "\n");
    WIN32_FIND_DATAW found;
    const HANDLE listing = FindFirstFileW(folder.wide(L"f*").c_str(), &found);
    EXPECT_EQ(listing, INVALID_HANDLE_VALUE) << "made a folder of a cut name";
    if (listing != INVALID_HANDLE_VALUE)
        FindClose(listing);
}

TEST_F(Preparation, SecondPreparationWhileOneRunsIsRefused)
{
    HeldLock lock(L"udi_prepare_driver");
    ASSERT_TRUE(lock.held());
    const udi_device_node device = node(0x6E3C, 0x0222);
    const Outcome outcome = prepare(device, &zero);
    EXPECT_EQ(outcome.result, UDI_ERR_IN_USE);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_FALSE(udi_test::isFolder(folder.wide(L"amd64")));
    EXPECT_EQ(lock.release(), 0);
}

// ---- Driver kinds -----------------------------------------------------------

struct KindCase {
    const char *name;
    udi_driver_kind kind;
    const char *infClass;  // "" where the preparation refuses the kind
};

class DriverKind : public Preparation, public testing::WithParamInterface<KindCase> {};

TEST_P(DriverKind, WritesThatKindsInfOrRefusesIt)
{
    const KindCase &c = GetParam();
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.driver_kind = c.kind;
    options.skip_catalog = 1;
    const Outcome outcome = prepare(device, &options);

    if (c.infClass[0] == '\0') {
        EXPECT_EQ(outcome.result, UDI_ERR_BAD_ARGUMENT);
        EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] Program assertion failed - "
                               "Unknown driver type\n");
        EXPECT_FALSE(udi_test::isFile(inf()));
        return;
    }
    ASSERT_EQ(outcome.result, UDI_OK) << outcome.err;
    const Inf inf(this->inf());
    ASSERT_TRUE(inf.opened());
    EXPECT_EQ(inf.value(L"Version", L"Class"), c.infClass);
    EXPECT_EQ(inf.value(L"Strings", L"DeviceID"), "VID_6E3C&PID_0222");
    const std::string bytes = udi_test::readFile(this->inf());
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE;\0", 4)) << "one mark, then the text";
    const bool fellBack = c.kind == UDI_DRIVER_USER;
    EXPECT_EQ(contains(outcome.err, "libudi:warning [udi_prepare_driver] unsupported or no driver "
                                    "type specified, will use WinUSB\n"),
              fellBack);
}

INSTANTIATE_TEST_SUITE_P(PackageKinds, DriverKind, testing::Values(
    KindCase{ "WinUsb", UDI_DRIVER_WINUSB, "USBDevice" },
    KindCase{ "Libusb0", UDI_DRIVER_LIBUSB0, "libusb-win32 devices" },
    KindCase{ "LibusbK", UDI_DRIVER_LIBUSBK, "libusbK USB Devices" },
    KindCase{ "UsbCdc", UDI_DRIVER_USB_CDC, "Ports" },
    KindCase{ "UserFallsBackToWinUsb", UDI_DRIVER_USER, "USBDevice" },
    KindCase{ "Five", 5, "" },
    KindCase{ "MinusOne", -1, "" }),
    [](const testing::TestParamInfo<KindCase> &p) { return std::string(p.param.name); });

// The co-installers of the payload are stand-ins of ours under the names of
// the genuine redistributables: copied into the system folder, they must
// never replace a file that is already there.
struct CoInstallerCase {
    const char *name;
    udi_driver_kind kind;
    const wchar_t *section;
    std::vector<std::string> files;
};

class CoInstallerCopies : public Preparation, public testing::WithParamInterface<CoInstallerCase> {};

TEST_P(CoInstallerCopies, NeverReplaceAFileInTheSystemFolder)
{
    const CoInstallerCase &c = GetParam();
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.driver_kind = c.kind;
    options.skip_catalog = 1;
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);

    const Inf inf(this->inf());
    ASSERT_TRUE(inf.opened());
    EXPECT_EQ(inf.value(L"DestinationDirs", c.section), "11");
    std::vector<std::string> files;
    for (const auto &[file, flags] : inf.copyFlags(c.section)) {
        files.push_back(file);
        EXPECT_EQ(flags & COPYFLG_NO_OVERWRITE, COPYFLG_NO_OVERWRITE) << file << " " << flags;
    }
    EXPECT_EQ(files, c.files);
}

INSTANTIATE_TEST_SUITE_P(PackageKinds, CoInstallerCopies, testing::Values(
    CoInstallerCase{ "WinUsb", UDI_DRIVER_WINUSB, L"CoInstallers_CopyFiles",
                     { "WinUSBCoInstaller2.dll", "WdfCoInstaller01011.dll" } },
    CoInstallerCase{ "LibusbK", UDI_DRIVER_LIBUSBK, L"LibusbK_CoInstallers_CopyFiles",
                     { "WdfCoInstaller01011.dll" } }),
    [](const testing::TestParamInfo<CoInstallerCase> &p) { return std::string(p.param.name); });

TEST_F(Preparation, Libusb0PackageNamesTheLibusbKDllsAndCatalogsThem)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.driver_kind = UDI_DRIVER_LIBUSB0;
    options.skip_signing = 1;
    fakeCatalogAndSigning();
    const Outcome outcome = prepare(device, &options);
    ASSERT_EQ(outcome.result, UDI_OK);
    EXPECT_TRUE(contains(outcome.out, "libudi:info [udi_prepare_driver] K driver available - adding "
                                      "the libusbK DLLs to the libusb-win32 inf\n"));
    const Inf inf(this->inf());
    EXPECT_EQ(inf.value(L"SourceDisksFiles.amd64", L"libusbk.dll", 2), "amd64");
    EXPECT_EQ(inf.value(L"SourceDisksFiles.amd64", L"libusbk_x86.dll", 2), "amd64");
    EXPECT_EQ(inf.value(L"SourceDisksFiles.x86", L"libusbk.dll", 2), "x86");
    EXPECT_EQ(inf.value(L"Version", L"DriverVer", 2), "1.2.6.0");
    std::set<std::wstring> files(catalogCalls.files.begin(), catalogCalls.files.end());
    EXPECT_TRUE(files.count(L"libusbk.dll")) << "both copies, amd64 and x86";
    EXPECT_TRUE(files.count(L"libusb0.sys"));
    EXPECT_TRUE(files.count(L"devicedrv.inf"));
    EXPECT_EQ(std::count(catalogCalls.files.begin(), catalogCalls.files.end(), L"libusbk.dll"), 2);
}

// ---- Options and rights --------------------------------------------------------

struct CatalogChoice {
    const char *name;
    bool nullOptions;
    int32_t skipCatalog, skipSigning;
    bool administrator;
    const char *logged;  // on standard output
    bool catalogMade, signingTried;
};

class CatalogDecision : public Preparation, public testing::WithParamInterface<CatalogChoice> {};

TEST_P(CatalogDecision, MakesAndSignsTheCatalogOnlyAsAsked)
{
    const CatalogChoice &c = GetParam();
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.skip_catalog = c.skipCatalog;
    options.skip_signing = c.skipSigning;
    fakeCatalogAndSigning();
    if (!c.administrator)
        replace("Shell32", "IsUserAnAdmin", notAnAdministrator);

    const Outcome outcome = prepare(device, c.nullOptions ? nullptr : &options);
    EXPECT_EQ(outcome.result, UDI_OK) << outcome.err;
    EXPECT_TRUE(Inf(inf()).opened());
    EXPECT_TRUE(contains(outcome.out, std::string("libudi:info [udi_prepare_driver] ") + c.logged
                                          + "\n"))
        << outcome.out;
    EXPECT_EQ(catalogCalls.opened, c.catalogMade ? 1 : 0);
    EXPECT_EQ(!signingSubjects.empty(), c.signingTried);
    EXPECT_EQ(contains(outcome.err, "Could not sign cat file"), c.signingTried);
}

INSTANTIATE_TEST_SUITE_P(CatalogOptions, CatalogDecision, testing::Values(
    CatalogChoice{ "AllZero", false, 0, 0, true, "Creating and self-signing a .cat file...",
                   true, true },
    CatalogChoice{ "NullOptionsNeverSign", true, 0, 0, true,
                   "Creating and self-signing a .cat file...", true, false },
    CatalogChoice{ "SkipSigning", false, 0, 1, true, "Creating and self-signing a .cat file...",
                   true, false },
    CatalogChoice{ "SkipCatalog", false, 1, 0, true, ".cat generation disabled by user", false,
                   false },
    CatalogChoice{ "NotAnAdministrator", false, 0, 0, false,
                   "No .cat file generated (missing elevated privileges)", false, false }),
    [](const testing::TestParamInfo<CatalogChoice> &p) { return std::string(p.param.name); });

TEST_F(Preparation, SignsWithTheCallersSubject)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.signer_subject = const_cast<char *>("CN=Kelvane, O=Ornvale");
    fakeCatalogAndSigning();
    EXPECT_EQ(prepare(device, &options).result, UDI_OK);
    ASSERT_FALSE(signingSubjects.empty());
    EXPECT_EQ(signingSubjects[0], "CN=Kelvane, O=Ornvale");
}

// ---- What the INF says about the device ---------------------------------------

TEST_F(Preparation, MatchingByCompatibleIdNamesNoDeviceAndNoGuid)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.match_by_compatible_id = 1;
    options.interface_guid = const_cast<char *>("{11111111-2222-3333-4444-555555555555}");
    fakeCatalogAndSigning();
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);
    const Inf inf(this->inf());
    EXPECT_EQ(inf.value(L"Strings", L"DeviceID"), "MS_COMP_WINUSB");
    EXPECT_EQ(inf.value(L"Strings", L"DeviceGUID"), "UNUSED");
    EXPECT_EQ(inf.value(L"USB_Install.HW", L"AddReg"), "NoDeviceInterfaceGUID");
    ASSERT_FALSE(catalogCalls.catalogAttributes.empty());
    EXPECT_EQ(catalogCalls.catalogAttributes[0].second, std::wstring(L"usb\\ms_comp_winusb") + L'\0');
    ASSERT_FALSE(signingSubjects.empty());
    EXPECT_EQ(signingSubjects[0], "CN=USB\\MS_COMP_WINUSB (libudi autogenerated)");
}

struct GuidCase {
    const char *name;
    uint16_t vendor, product;
    const char *given;
    const char *expected;  // NULL: a new one
};

class InterfaceGuid : public Preparation, public testing::WithParamInterface<GuidCase> {};

TEST_P(InterfaceGuid, IsGivenAndroidsOrNew)
{
    const GuidCase &c = GetParam();
    const udi_device_node device = node(c.vendor, c.product);
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    options.interface_guid = const_cast<char *>(c.given);
    const Outcome outcome = prepare(device, &options);
    ASSERT_EQ(outcome.result, UDI_OK);
    const std::string guid = Inf(inf()).value(L"Strings", L"DeviceGUID");
    if (c.expected != nullptr)
        EXPECT_EQ(guid, c.expected);
    else
        EXPECT_TRUE(std::regex_match(guid, upperCaseGuid)) << guid;
    EXPECT_EQ(contains(outcome.out, "Using Android Device Interface GUID"),
              c.given == nullptr && c.expected != nullptr);
}

INSTANTIATE_TEST_SUITE_P(InterfaceGuids, InterfaceGuid, testing::Values(
    GuidCase{ "Android", 0x18D1, 0x4EE7, nullptr, "{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}" },
    GuidCase{ "AndroidGivenOne", 0x18D1, 0x4EE7, "{11111111-2222-3333-4444-555555555555}",
              "{11111111-2222-3333-4444-555555555555}" },
    GuidCase{ "NotAndroid", 0x18D1, 0x4EE8, nullptr, nullptr }),
    [](const testing::TestParamInfo<GuidCase> &p) { return std::string(p.param.name); });

HRESULT WINAPI fixedGuid(GUID *guid)
{
    *guid = { 0x0A1B2C3D, 0x4E5F, 0x6A7B, { 0x8C, 0x9D, 0xAE, 0xBF, 0xC0, 0xD1, 0xE2, 0xF3 } };
    return S_OK;
}

HRESULT WINAPI noGuid(GUID *)
{
    return E_OUTOFMEMORY;
}

TEST_F(Preparation, WritesTheNewGuidFieldByFieldAndFailsWithoutOne)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    replace("Ole32", "CoCreateGuid", fixedGuid);
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);
    EXPECT_EQ(Inf(inf()).value(L"Strings", L"DeviceGUID"), "{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}");

    // A GUID that cannot be had is not made up.
    replace("Ole32", "CoCreateGuid", noGuid);
    DeleteFileW(inf().c_str());
    const Outcome outcome = prepare(device, &options);
    EXPECT_EQ(outcome.result, UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_TRUE(contains(outcome.err, "libudi:error [udi_prepare_driver] Could not create a device "
                                      "interface GUID: "));
    EXPECT_FALSE(udi_test::isFile(inf()));
}

struct HardwareIdCase {
    const char *name;
    bool hasInterface;
    uint8_t interfaceNumber;
    const char *deviceId;
};

class HardwareId : public Preparation, public testing::WithParamInterface<HardwareIdCase> {};

TEST_P(HardwareId, NamesTheInterfaceOfAnInterfaceNode)
{
    const HardwareIdCase &c = GetParam();
    udi_device_node device = node(0x6E3C, 0x0222);
    device.has_interface_number = c.hasInterface;
    device.interface_number = c.interfaceNumber;
    fakeCatalogAndSigning();
    ASSERT_EQ(prepare(device, &zero).result, UDI_OK);
    EXPECT_EQ(Inf(inf()).value(L"Strings", L"DeviceID"), c.deviceId);
    ASSERT_FALSE(signingSubjects.empty());
    EXPECT_EQ(signingSubjects[0], std::string("CN=USB\\") + c.deviceId + " (libudi autogenerated)");
}

INSTANTIATE_TEST_SUITE_P(HardwareIds, HardwareId, testing::Values(
    HardwareIdCase{ "Device", false, 0, "VID_6E3C&PID_0222" },
    HardwareIdCase{ "InterfaceTwo", true, 2, "VID_6E3C&PID_0222&MI_02" },
    HardwareIdCase{ "InterfaceAB", true, 0xAB, "VID_6E3C&PID_0222&MI_AB" }),
    [](const testing::TestParamInfo<HardwareIdCase> &p) { return std::string(p.param.name); });

TEST_F(Preparation, ManufacturerIsGivenOrTheVendorTables)
{
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    const udi_device_node microsoft = node(0x045E, 0x0001);
    ASSERT_EQ(prepare(microsoft, &options).result, UDI_OK);
    EXPECT_EQ(Inf(inf()).value(L"Strings", L"VendorName"), "Microsoft Corp.");

    options.manufacturer_name = const_cast<char *>("Ornvale");
    ASSERT_EQ(prepare(microsoft, &options).result, UDI_OK);
    EXPECT_EQ(Inf(inf()).value(L"Strings", L"VendorName"), "Ornvale");
}

// UTF-8 texts reach the UTF-16 INF as the same characters, also outside
// the Basic Latin and Latin-1 blocks.
TEST_F(Preparation, NonAsciiTextsKeepTheirCharacters)
{
    const udi_device_node device = node(0x6E3C, 0x0222, "Kelvane Ger\xC3\xA4t \xCE\xA9");
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    options.manufacturer_name = const_cast<char *>("Orn\xC3\xA9vale");
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);

    const Inf inf(this->inf());
    ASSERT_TRUE(inf.opened());
    EXPECT_EQ(inf.value(L"Strings", L"DeviceName"), "Kelvane Ger\xC3\xA4t \xCE\xA9");
    EXPECT_EQ(inf.value(L"Strings", L"SourceName"), "Kelvane Ger\xC3\xA4t \xCE\xA9 Install Disk");
    EXPECT_EQ(inf.value(L"Strings", L"VendorName"), "Orn\xC3\xA9vale");
    const std::string bytes = udi_test::readFile(this->inf());
    const std::wstring text(reinterpret_cast<const wchar_t *>(bytes.data() + 2),
                            (bytes.size() - 2) / 2);
    EXPECT_NE(text.find(L"DeviceName = \"Kelvane Ger\u00E4t \u03A9\"\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"VendorName = \"Orn\u00E9vale\"\r\n"), std::wstring::npos);
}

// A device's own text must not end the INF string nor start lines of its own.
TEST_F(Preparation, DeviceTextCannotAddToTheInf)
{
    const udi_device_node device = node(0x6E3C, 0x0222, "Kelvane \"DFU\"\r\n[Evil]\r\nx = y");
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    options.manufacturer_name = const_cast<char *>("Orn\"vale\n[More]");
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);
    const Inf inf(this->inf());
    EXPECT_EQ(inf.value(L"Strings", L"DeviceName"), "Kelvane \"DFU\"  [Evil]  x = y");
    EXPECT_EQ(inf.value(L"Strings", L"VendorName"), "Orn\"vale [More]");
    EXPECT_EQ(inf.value(L"Evil", nullptr), "<none>");
    EXPECT_EQ(inf.value(L"More", nullptr), "<none>");
}

// Values longer than a token holds are cut to 1,023 bytes.
TEST_F(Preparation, CutsALongDescription)
{
    const std::string description(1500, 'd');
    const udi_device_node device = node(0x6E3C, 0x0222, description.c_str());
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);
    const std::string bytes = udi_test::readFile(inf());
    const std::wstring text(reinterpret_cast<const wchar_t *>(bytes.data() + 2),
                            (bytes.size() - 2) / 2);
    EXPECT_NE(text.find(L"DeviceName = \"" + std::wstring(1023, L'd') + L"\"\r\n"),
              std::wstring::npos);
}

// ---- The date a package states -------------------------------------------------

SYSTEMTIME fixedToday = { 2024, 2, 4, 29, 12, 0, 0, 0 };

void WINAPI fixedLocalTime(LPSYSTEMTIME time)
{
    *time = fixedToday;
}

BOOL WINAPI failingToLocal(const FILETIME *, LPFILETIME)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

TEST_F(Preparation, PackageWithoutAVersionIsDatedToday)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    replace("Kernel32", "GetLocalTime", fixedLocalTime);

    options.driver_kind = UDI_DRIVER_USB_CDC;
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);
    EXPECT_EQ(Inf(inf()).value(L"Version", L"DriverVer", 1), "02/29/2024");
    EXPECT_EQ(Inf(inf()).value(L"Version", L"DriverVer", 2), "1.0.0.0");

    // A date that does not convert counts as none.
    options.driver_kind = UDI_DRIVER_WINUSB;
    replace("Kernel32", "FileTimeToLocalFileTime", failingToLocal);
    ASSERT_EQ(prepare(device, &options).result, UDI_OK);
    EXPECT_EQ(Inf(inf()).value(L"Version", L"DriverVer", 1), "02/29/2024");
    EXPECT_EQ(Inf(inf()).value(L"Version", L"DriverVer", 2), "6.1.7600.16385");
}

// Wine takes the time zone from TZ when a process starts: CTest runs this
// suite once as the machine has it and once nine hours west of UTC, where
// 2020-06-23 08:30:26 UTC is still 22 June.
TEST(DriverDate, IsTheLocalDateOfTheFilesTime)
{
    TempFolder folder;
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.skip_catalog = 1;
    ASSERT_EQ(prepareDriver(&device, folder.utf8().c_str(), infName, &options).result, UDI_OK);
    const std::string date = Inf(folder.wide(L"deviceDrv.inf")).value(L"Version", L"DriverVer", 1);

    EXPECT_EQ(date, localDate(winusbCoInstallerTime));
    const char *zone = std::getenv("TZ");
    const std::string zoneName = zone != nullptr ? zone : "";
    if (zoneName == "Pacific/Gambier") {
        EXPECT_EQ(date, "06/22/2020");
    } else if (zoneName == "UTC") {
        EXPECT_EQ(date, "06/23/2020");
    }
}

// ---- Writing the INF ------------------------------------------------------------

int WINAPI failingConversion(UINT, DWORD, LPCCH, int, LPWSTR, int)
{
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
}

TEST_F(Preparation, FailsWhenTheInfCannotBeMadeOrWritten)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    udi_prepare_options options = {};
    options.skip_catalog = 1;

    replace("Kernel32", "MultiByteToWideChar", failingConversion);
    Outcome outcome = prepare(device, &options);
    EXPECT_EQ(outcome.result, UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_TRUE(contains(outcome.err, "libudi:error [udi_prepare_driver] Could not convert '; "
                                      "deviceDrv.inf\r\n[Strings]"));
    system_function_restore_all();

    // A folder in the INF's place.
    DeleteFileW(inf().c_str());
    ASSERT_TRUE(CreateDirectoryW(inf().c_str(), nullptr));
    outcome = prepare(device, &options);
    EXPECT_EQ(outcome.result, UDI_ERR_FILE_ACCESS);
    EXPECT_EQ(outcome.err, "libudi:error [udi_prepare_driver] Failed to create file: "
                               + udi_test::toUtf8(inf()) + "\n");
    RemoveDirectoryW(inf().c_str());
}

TEST_F(Preparation, FailsWithoutItsSystemFunctions)
{
    const udi_device_node device = node(0x6E3C, 0x0222);
    for (const auto &function : { std::pair<const char *, const char *>{ "Ole32", "CoCreateGuid" },
                                  { "Kernel32", "GetLocalTime" },
                                  { "Shell32", "IsUserAnAdmin" } }) {
        system_function_hide(function.first, function.second);
        const Outcome outcome = prepare(device, &zero);
        system_function_restore_all();
        EXPECT_EQ(outcome.result, UDI_ERR_OUT_OF_RESOURCES) << function.second;
        EXPECT_EQ(outcome.err, std::string("libudi:error [udi_prepare_driver] Unable to locate ")
                                   + function.second + "() in " + function.first + "\n\n");
        EXPECT_FALSE(udi_test::isFolder(folder.wide(L"amd64")));
    }
}

// ---- The token table ------------------------------------------------------------

TEST(Tokenize, FindsTemplatesByTheirExactName)
{
    char *out = nullptr;
    EXPECT_EQ(tokenize_embedded_template("WINUSB.INF.IN", &out, inf_tokens), TEMPLATE_NOT_FOUND);
    EXPECT_EQ(tokenize_embedded_template("amd64", &out, inf_tokens), TEMPLATE_NOT_FOUND);
    // A payload row is no template.
    EXPECT_EQ(tokenize_embedded_template("installer_x64.exe", &out, inf_tokens), TEMPLATE_NOT_FOUND);
    EXPECT_EQ(tokenize_embedded_template("winusb.inf.in", nullptr, inf_tokens),
              REPLACE_TOKENS_BAD_ARGUMENT);

    const embedded_file *row = find_embedded_template("winusb.cat.in");
    ASSERT_NE(row, nullptr);
    const int64_t length = tokenize_embedded_template("winusb.cat.in", &out, inf_tokens);
    ASSERT_GT(length, 0);
    EXPECT_NE(std::string(out, static_cast<size_t>(length)).find("\r\nWdfCoInstaller"),
              std::string::npos);
    std::free(out);
}

TEST(Tokenize, TableHoldsTheSixteenTokensInOrder)
{
    const char *const names[] = { "INF_FILENAME", "CAT_FILENAME", "DEVICE_DESCRIPTION",
                                  "DEVICE_HARDWARE_ID", "DEVICE_INTERFACE_GUID",
                                  "DEVICE_MANUFACTURER", "DRIVER_DATE", "DRIVER_VERSION",
                                  "USE_DEVICE_INTERFACE_GUID", "WDF_VERSION", "KMDF_VERSION",
                                  "LK_COMMA", "LK_DLL", "LK_X86_DLL", "LK_EQ_X86", "LK_EQ_X64" };
    for (int i = 0; i < INF_TOKEN_COUNT; i++)
        EXPECT_STREQ(inf_tokens[i].name, names[i]);
    EXPECT_EQ(inf_tokens[INF_TOKEN_COUNT].name, nullptr);
}

}  // namespace
