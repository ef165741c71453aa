// The security catalog of a driver package. Wine 8 opens a catalog, hashes
// files and encodes the members' data for real, but only pretends to put
// attributes and members and never writes the file: recording fakes of ours
// stand in for those four calls, and the real path is run for its failure
// handling.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>
#include <wintrust.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/OpenHandles.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::isFile;
using udi_test::OpenHandles;
using udi_test::StreamCapture;
using udi_test::TempFolder;
using udi_test::toUtf8;
using udi_test::writeFile;

namespace {

const DWORD attributeFlags = 0x10010001;
const char *const hardwareId = "USB\\VID_6E3C&PID_0222";
const std::wstring storedHardwareId = L"usb\\vid_6e3c&pid_0222";
const std::wstring supportedSystems = L"7_X86,7_X64,8_X86,8_X64,8_ARM,10_X86,10_X64,10_ARM";
const std::wstring memberSystems = L"2:5.1,2:5.2,2:6.0,2:6.1";
const GUID peSubject = { 0xC689AAB8, 0x8E78, 0x11D0,
                         { 0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE } };
const GUID flatSubject = { 0xDE351A42, 0x8E59, 0x11D0,
                           { 0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE } };

std::string bytes(const void *data, size_t size)
{
    return std::string(static_cast<const char *>(data), size);
}

// A UTF-16 value as an attribute holds it: the text and its terminator.
std::string valueBytes(const std::wstring &text)
{
    return bytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::string hexUpper(const std::string &data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : data) {
        text += digits[c >> 4];
        text += digits[c & 0x0F];
    }
    return text;
}

// SHA-1 of the bytes by the system's base provider: the catalog hash of a
// file that is not a program image is the hash of all of it.
std::string sha1(const std::string &data)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[20] = {};
    DWORD size = sizeof(digest);
    EXPECT_TRUE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL,
                                     CRYPT_VERIFYCONTEXT));
    EXPECT_TRUE(CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash));
    EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE *>(data.data()),
                              static_cast<DWORD>(data.size()), 0));
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0));
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return bytes(digest, size);
}

std::wstring wideOf(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

// ---- Recording fakes of the calls that Wine only pretends to make ----------

struct Attribute {
    std::wstring name;
    DWORD flags = 0;
    std::string value;
};

struct Member {
    HANDLE catalog = nullptr;
    bool fileNamed = true;
    std::wstring tag;
    GUID subject = {};
    DWORD version = 0;
    DWORD indirectSize = 0;
    std::string dataType;
    std::string data;
    std::string digestAlgorithm;
    DWORD digestParameterBytes = 1;
    std::string digest;
    std::vector<Attribute> attributes;
    CRYPTCATMEMBER record = {};
};

struct Recording {
    std::vector<std::pair<HANDLE, Attribute>> catalogAttributes;
    std::deque<Member> members;  // a deque keeps each record where it is
    std::vector<HANDLE> persisted;
    CRYPTCATATTRIBUTE attributeRecord = {};
    int catalogAttributeFailsAt = 0;  // 1 for the first call; 0 never
    bool memberFails = false;
    std::wstring failingFile, failingAttribute;  // the one attribute refused
    bool persistFails = false;
    int catalogAttributeCalls = 0;
};
Recording recording;

CRYPTCATATTRIBUTE *WINAPI recordCatalogAttribute(HANDLE catalog, WCHAR *name, DWORD flags,
                                                 DWORD size, BYTE *data)
{
    if (++recording.catalogAttributeCalls == recording.catalogAttributeFailsAt) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    recording.catalogAttributes.push_back({ catalog, { name, flags, bytes(data, size) } });
    return &recording.attributeRecord;
}

CRYPTCATMEMBER *WINAPI recordMember(HANDLE catalog, WCHAR *fileName, WCHAR *tag, GUID *subject,
                                    DWORD version, DWORD size, BYTE *data)
{
    if (recording.memberFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    Member member;
    member.catalog = catalog;
    member.fileNamed = fileName != nullptr;
    member.tag = tag;
    member.subject = *subject;
    member.version = version;
    member.indirectSize = size;
    const auto *indirect = reinterpret_cast<const SIP_INDIRECT_DATA *>(data);
    member.dataType = indirect->Data.pszObjId;
    member.data = bytes(indirect->Data.Value.pbData, indirect->Data.Value.cbData);
    member.digestAlgorithm = indirect->DigestAlgorithm.pszObjId;
    member.digestParameterBytes = indirect->DigestAlgorithm.Parameters.cbData;
    member.digest = bytes(indirect->Digest.pbData, indirect->Digest.cbData);
    recording.members.push_back(member);
    return &recording.members.back().record;
}

CRYPTCATATTRIBUTE *WINAPI recordMemberAttribute(HANDLE catalog, CRYPTCATMEMBER *record,
                                                WCHAR *name, DWORD flags, DWORD size, BYTE *data)
{
    for (Member &member : recording.members) {
        if (&member.record == record && member.catalog == catalog) {
            const std::wstring attributeName = name;
            const std::string value = bytes(data, size);
            const std::string file = attributeName == L"File" || member.attributes.empty()
                ? value
                : member.attributes[0].value;
            if (attributeName == recording.failingAttribute
                && file == valueBytes(recording.failingFile)) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            member.attributes.push_back({ attributeName, flags, value });
            return &recording.attributeRecord;
        }
    }
    ADD_FAILURE() << "attribute put on a member that was never made";
    return nullptr;
}

// Writes the file as a catalog that fails half-way would leave it.
std::wstring catalogPath;

BOOL WINAPI recordPersist(HANDLE catalog)
{
    recording.persisted.push_back(catalog);
    if (recording.persistFails) {
        writeFile(catalogPath, "half a catalog");
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    writeFile(catalogPath, "a catalog");
    return TRUE;
}

BOOL WINAPI encodeRefused(DWORD, LPCSTR, const void *, BYTE *, DWORD *)
{
    SetLastError(static_cast<DWORD>(CRYPT_E_BAD_ENCODE));
    return FALSE;
}

void replaceWineStubs()
{
    recording = Recording();
    system_function_replace("WinTrust", "CryptCATPutCatAttrInfo",
                            reinterpret_cast<system_function>(recordCatalogAttribute));
    system_function_replace("WinTrust", "CryptCATPutMemberInfo",
                            reinterpret_cast<system_function>(recordMember));
    system_function_replace("WinTrust", "CryptCATPutAttrInfo",
                            reinterpret_cast<system_function>(recordMemberAttribute));
    system_function_replace("WinTrust", "CryptCATPersistStore",
                            reinterpret_cast<system_function>(recordPersist));
}

const Member *memberOfFile(const std::wstring &file)
{
    for (const Member &member : recording.members) {
        for (const Attribute &attribute : member.attributes) {
            if (attribute.name == L"File" && attribute.value == valueBytes(file))
                return &member;
        }
    }
    return nullptr;
}

std::vector<std::wstring> memberFiles()
{
    std::vector<std::wstring> files;
    for (const Member &member : recording.members) {
        for (const Attribute &attribute : member.attributes) {
            if (attribute.name == L"File")
                files.push_back(reinterpret_cast<const wchar_t *>(attribute.value.data()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A package folder with files below it, and a catalog path beside them.
struct Package {
    TempFolder folder;
    Package() { catalogPath = folder.wide(L"deviceDrv.cat"); }
    void add(const std::wstring &relative, const std::string &content)
    {
        const std::filesystem::path path = folder.wide(relative);
        std::filesystem::create_directories(path.parent_path());
        writeFile(path.wstring(), content);
    }
    std::string catalog() const { return toUtf8(catalogPath); }
};

int createCat(const Package &package, const std::string &folder,
              const std::vector<std::string> &names)
{
    std::vector<const char *> list;
    for (const std::string &name : names)
        list.push_back(name.c_str());
    return CreateCat(package.catalog().c_str(), hardwareId, folder.c_str(), list.data(),
                     static_cast<uint32_t>(list.size()));
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// ---- A catalog that goes through: one run, looked at from several sides ------

const std::string infContent = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
const std::string dllContent = "not really a co-installer";

class CatalogThroughFakes : public testing::Test {
protected:
    void SetUp() override
    {
        replaceWineStubs();
        package.add(L"deviceDrv.inf", infContent);
        package.add(L"amd64\\winusbcoinstaller2.dll", dllContent);
        package.add(L"amd64\\unlisted.dll", "not in the list");
        package.add(L"license.txt", "not in the list either");
        {
            OpenHandles before;
            StreamCapture capture;
            result = createCat(package, package.folder.utf8(),
                               { "deviceDrv.inf", "winusbcoinstaller2.dll" });
            capture.finish();
            out = capture.out();
            err = capture.err();
            leftOpen = before.openedSince();
        }
        system_function_restore_all();
    }
    void TearDown() override { system_function_restore_all(); }

    Package package;
    int result = -1;
    std::string out, err;
    std::vector<std::wstring> leftOpen;
};

TEST_F(CatalogThroughFakes, StampsTheCatalogWithTheLowerCaseHardwareIdAndTheSystems)
{
    EXPECT_EQ(result, 1);
    ASSERT_EQ(recording.catalogAttributes.size(), 2u);
    const Attribute &id = recording.catalogAttributes[0].second;
    EXPECT_EQ(id.name, L"HWID1");
    EXPECT_EQ(id.flags, attributeFlags);
    EXPECT_EQ(id.value, valueBytes(storedHardwareId));
    const Attribute &systems = recording.catalogAttributes[1].second;
    EXPECT_EQ(systems.name, L"OS");
    EXPECT_EQ(systems.flags, attributeFlags);
    EXPECT_EQ(systems.value, valueBytes(supportedSystems));
}

TEST_F(CatalogThroughFakes, AddsOneMemberPerListedFileAlsoInSubfolders)
{
    EXPECT_EQ(memberFiles(), (std::vector<std::wstring>{ L"devicedrv.inf",
                                                          L"winusbcoinstaller2.dll" }));
    const Member *inf = memberOfFile(L"devicedrv.inf");
    const Member *dll = memberOfFile(L"winusbcoinstaller2.dll");
    ASSERT_NE(inf, nullptr);
    ASSERT_NE(dll, nullptr);
    EXPECT_TRUE(IsEqualGUID(inf->subject, flatSubject));
    EXPECT_EQ(inf->dataType, "1.3.6.1.4.1.311.2.1.25");
    EXPECT_TRUE(IsEqualGUID(dll->subject, peSubject));
    EXPECT_EQ(dll->dataType, "1.3.6.1.4.1.311.2.1.15");
    for (const Member *member : { inf, dll }) {
        EXPECT_FALSE(member->fileNamed);
        EXPECT_EQ(member->version, 0x200u);
        EXPECT_EQ(member->indirectSize, sizeof(SIP_INDIRECT_DATA));
        EXPECT_EQ(member->digestAlgorithm, "1.3.14.3.2.26");
        EXPECT_EQ(member->digestParameterBytes, 0u);
        ASSERT_EQ(member->attributes.size(), 2u);
        EXPECT_EQ(member->attributes[0].name, L"File");
        EXPECT_EQ(member->attributes[0].flags, attributeFlags);
        EXPECT_EQ(member->attributes[1].name, L"OSAttr");
        EXPECT_EQ(member->attributes[1].flags, attributeFlags);
        EXPECT_EQ(member->attributes[1].value, valueBytes(memberSystems));
    }
}

TEST_F(CatalogThroughFakes, TagsEachMemberWithItsFilesHashInUpperCaseHex)
{
    const Member *inf = memberOfFile(L"devicedrv.inf");
    const Member *dll = memberOfFile(L"winusbcoinstaller2.dll");
    ASSERT_NE(inf, nullptr);
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(inf->digest, sha1(infContent));
    EXPECT_EQ(dll->digest, sha1(dllContent));
    for (const Member *member : { inf, dll }) {
        ASSERT_EQ(member->digest.size(), 20u);
        EXPECT_EQ(member->tag, wideOf(hexUpper(member->digest)));
    }
}

TEST_F(CatalogThroughFakes, EncodesTheImageDataOfAProgramAndTheLinkOfAFlatFile)
{
    const Member *inf = memberOfFile(L"devicedrv.inf");
    const Member *dll = memberOfFile(L"winusbcoinstaller2.dll");
    ASSERT_NE(inf, nullptr);
    ASSERT_NE(dll, nullptr);

    DWORD size = 0;
    const auto *data = reinterpret_cast<const BYTE *>(dll->data.data());
    const auto dataSize = static_cast<DWORD>(dll->data.size());
    ASSERT_TRUE(CryptDecodeObject(X509_ASN_ENCODING, SPC_PE_IMAGE_DATA_OBJID, data, dataSize, 0,
                                  nullptr, &size));
    std::vector<BYTE> buffer(size);
    ASSERT_TRUE(CryptDecodeObject(X509_ASN_ENCODING, SPC_PE_IMAGE_DATA_OBJID, data, dataSize, 0,
                                  buffer.data(), &size));
    const auto *image = reinterpret_cast<const SPC_PE_IMAGE_DATA *>(buffer.data());
    ASSERT_EQ(image->Flags.cbData, 1u);
    EXPECT_EQ(image->Flags.pbData[0], 0xA0);
    EXPECT_EQ(image->Flags.cUnusedBits, 0u);
    ASSERT_NE(image->pFile, nullptr);
    EXPECT_EQ(image->pFile->dwLinkChoice, static_cast<DWORD>(SPC_FILE_LINK_CHOICE));
    EXPECT_EQ(std::wstring(image->pFile->pwszFile), L"<<<Obsolete>>>");

    data = reinterpret_cast<const BYTE *>(inf->data.data());
    size = 0;
    ASSERT_TRUE(CryptDecodeObject(X509_ASN_ENCODING, SPC_CAB_DATA_OBJID, data,
                                  static_cast<DWORD>(inf->data.size()), 0, nullptr, &size));
    buffer.assign(size, 0);
    ASSERT_TRUE(CryptDecodeObject(X509_ASN_ENCODING, SPC_CAB_DATA_OBJID, data,
                                  static_cast<DWORD>(inf->data.size()), 0, buffer.data(), &size));
    const auto *link = reinterpret_cast<const SPC_LINK *>(buffer.data());
    EXPECT_EQ(link->dwLinkChoice, static_cast<DWORD>(SPC_FILE_LINK_CHOICE));
    EXPECT_EQ(std::wstring(link->pwszFile), L"<<<Obsolete>>>");
    // The file link alone is the image data's last part.
    EXPECT_EQ(dll->data.substr(dll->data.size() - inf->data.size()), inf->data);
}

TEST_F(CatalogThroughFakes, PersistsTheOpenedCatalogOnceAndLogsEachFile)
{
    ASSERT_EQ(recording.persisted.size(), 1u);
    for (const auto &attribute : recording.catalogAttributes)
        EXPECT_EQ(attribute.first, recording.persisted[0]);
    for (const Member &member : recording.members)
        EXPECT_EQ(member.catalog, recording.persisted[0]);
    EXPECT_TRUE(isFile(catalogPath));

    const std::string root = package.folder.utf8();
    EXPECT_TRUE(contains(out, "libudi:info [ScanDirAndHash] added hash for '" + root
                                  + "\\deviceDrv.inf'\n"));
    EXPECT_TRUE(contains(out, "libudi:info [ScanDirAndHash] added hash for '" + root
                                  + "\\amd64\\winusbcoinstaller2.dll'\n"));
    EXPECT_TRUE(contains(out, "libudi:info [CreateCat] Successfully created file '"
                                  + package.catalog() + "'\n"));
    EXPECT_EQ(err, "");
}

TEST_F(CatalogThroughFakes, LeavesNoHandleOpenAndNoScanRoot)
{
    EXPECT_EQ(leftOpen, std::vector<std::wstring>{});
    EXPECT_STREQ(scan_root, "");
}

// ---- Which files become members ---------------------------------------------

struct ListCase {
    const char *name;
    std::vector<std::wstring> files;
    std::vector<std::string> list;
    std::vector<std::wstring> members;
    std::vector<std::string> logged;  // parts of the log, each with "ROOT" for the folder
};

class ListedFiles : public testing::TestWithParam<ListCase> {
protected:
    void SetUp() override { replaceWineStubs(); }
    void TearDown() override { system_function_restore_all(); }
};

std::string withRoot(std::string text, const std::string &root)
{
    const auto at = text.find("ROOT");
    if (at != std::string::npos)
        text.replace(at, 4, root);
    return text;
}

TEST_P(ListedFiles, GiveTheirMembers)
{
    const ListCase &c = GetParam();
    Package package;
    for (const std::wstring &file : c.files)
        package.add(file, toUtf8(file) + " content");

    StreamCapture capture;
    EXPECT_EQ(createCat(package, package.folder.utf8(), c.list), 1);
    capture.finish();

    EXPECT_EQ(memberFiles(), c.members);
    EXPECT_EQ(recording.catalogAttributes.size(), 2u);
    EXPECT_EQ(recording.persisted.size(), 1u);
    const std::string log = capture.out() + capture.err();
    for (const std::string &part : c.logged)
        EXPECT_TRUE(contains(log, withRoot(part, package.folder.utf8()))) << part << "\n" << log;
    if (c.logged.empty()) {
        EXPECT_EQ(capture.err(), "");
    }
}

const ListCase listCases[] = {
    { "UpperCaseNamesMatchAnyCase", { L"deviceDrv.inf", L"amd64\\WinUsbCoInstaller2.DLL" },
      { "DEVICEDRV.INF", "WINUSBCOINSTALLER2.DLL" },
      { L"devicedrv.inf", L"winusbcoinstaller2.dll" }, {} },
    { "ATextFileIsFoundButHasNoMember", { L"deviceDrv.inf", L"license\\libusb0.txt" },
      { "deviceDrv.inf", "libusb0.txt" }, { L"devicedrv.inf" },
      { "libudi:warning [AddFileHash] Unhandled file type: 'libusb0.txt' - ignoring\n",
        "libudi:warning [ScanDirAndHash] could not add hash for 'ROOT\\license\\libusb0.txt' - "
        "ignored\n" } },
    { "ANameWithoutExtensionHasNoMember", { L"README" }, { "readme" }, {},
      { "libudi:warning [AddFileHash] Unhandled file type: 'readme' - ignoring\n" } },
    { "AnAbsentNameIsLeftOut", { L"deviceDrv.inf" }, { "deviceDrv.inf", "absent.sys" },
      { L"devicedrv.inf" }, {} },
    { "AnEmptyListGivesNoMember", { L"deviceDrv.inf", L"x64\\libusb0.sys" }, {}, {}, {} },
    { "OneNameInTwoFoldersGivesTwoMembers",
      { L"amd64\\libusb0.dll", L"x86\\libusb0.dll", L"x86\\deeper\\installer_x64.exe" },
      { "libusb0.dll", "installer_x64.exe" },
      { L"installer_x64.exe", L"libusb0.dll", L"libusb0.dll" },
      { "added hash for 'ROOT\\x86\\deeper\\installer_x64.exe'" } },
};

INSTANTIATE_TEST_SUITE_P(CatalogMembers, ListedFiles, testing::ValuesIn(listCases),
                         [](const testing::TestParamInfo<ListCase> &p) { return p.param.name; });

// ---- How the package folder may be written ----------------------------------

class PackageFolder : public testing::Test {
protected:
    void SetUp() override
    {
        replaceWineStubs();
        package.add(L"deviceDrv.inf", infContent);
        package.add(L"amd64\\winusbcoinstaller2.dll", dllContent);
    }
    void TearDown() override { system_function_restore_all(); }

    // The folder as written, and the members and the paths they were added by.
    void expectBothMembers(const std::string &folder)
    {
        recording = Recording();
        StreamCapture capture;
        EXPECT_EQ(createCat(package, folder, { "deviceDrv.inf", "winusbcoinstaller2.dll" }), 1);
        capture.finish();
        EXPECT_EQ(memberFiles(), (std::vector<std::wstring>{ L"devicedrv.inf",
                                                              L"winusbcoinstaller2.dll" }));
        const std::string root = package.folder.utf8();
        EXPECT_TRUE(contains(capture.out(), "added hash for '" + root
                                                + "\\amd64\\winusbcoinstaller2.dll'"))
            << capture.out();
        EXPECT_EQ(capture.err(), "");
    }

    Package package;
};

TEST_F(PackageFolder, WithForwardSlashes)
{
    std::string folder = package.folder.utf8();
    std::replace(folder.begin(), folder.end(), '\\', '/');
    expectBothMembers(folder);
}

TEST_F(PackageFolder, WithATrailingSeparator)
{
    expectBothMembers(package.folder.utf8() + "\\");
    expectBothMembers(package.folder.utf8() + "/");
}

TEST_F(PackageFolder, RelativeToTheCurrentFolder)
{
    const std::filesystem::path folder = package.folder.path();
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.parent_path().c_str()));
    expectBothMembers(toUtf8(folder.filename().wstring()));
    SetCurrentDirectoryW(saved);
}

// A file whose path would pass the classic limit is passed over whole; a
// path cut to the limit would hash another file, or none.
TEST_F(PackageFolder, AFileWhosePathIsTooLongIsPassedOver)
{
    const size_t rootLength = package.folder.wide().size();
    const std::wstring deep = L"d" + std::wstring(250 - rootLength - 1, L'e');
    const std::wstring file = deep + L"\\winusbcoinstaller2.dll";
    ASSERT_EQ(rootLength + 1 + file.size(), 251u + 1 + 22);
    std::filesystem::create_directories(L"\\\\?\\" + package.folder.wide(deep));
    writeFile(L"\\\\?\\" + package.folder.wide(file), dllContent);

    StreamCapture capture;
    EXPECT_EQ(createCat(package, package.folder.utf8(), { "winusbcoinstaller2.dll" }), 1);
    capture.finish();
    EXPECT_EQ(memberFiles(), std::vector<std::wstring>{ L"winusbcoinstaller2.dll" });
    EXPECT_TRUE(contains(capture.err(), "libudi:warning [ScanDirAndHash] path of '"
                                            + package.folder.utf8(file) + "' is too long - ignored\n"))
        << capture.err();
    std::filesystem::remove_all(L"\\\\?\\" + package.folder.wide(deep));
}

// ---- Failures ---------------------------------------------------------------

class CatalogFailure : public testing::Test {
protected:
    void SetUp() override
    {
        replaceWineStubs();
        package.add(L"deviceDrv.inf", infContent);
        package.add(L"amd64\\winusbcoinstaller2.dll", dllContent);
    }
    void TearDown() override { system_function_restore_all(); }

    int run(const std::string &folder)
    {
        OpenHandles before;
        StreamCapture capture;
        const int result = createCat(package, folder, { "deviceDrv.inf",
                                                        "winusbcoinstaller2.dll" });
        capture.finish();
        out = capture.out();
        err = capture.err();
        leftOpen = before.openedSince();
        return result;
    }

    Package package;
    std::string out, err;
    std::vector<std::wstring> leftOpen;
};

// A step before the writing failed: the catalog is not written, and the
// file that opening it made is gone.
struct EarlyFailure {
    const char *name;
    int catalogAttributeFailsAt;
    bool tooLongFolder;
    bool persistFails;
    const char *warning;  // "ROOT" for the folder
};

class EarlyFailures : public CatalogFailure, public testing::WithParamInterface<EarlyFailure> {
};

TEST_P(EarlyFailures, WriteNoCatalogAndLeaveNoFile)
{
    const EarlyFailure &c = GetParam();
    recording.catalogAttributeFailsAt = c.catalogAttributeFailsAt;
    recording.persistFails = c.persistFails;
    const std::string folder = c.tooLongFolder ? package.folder.utf8() + "\\" + std::string(260, 'x')
                                               : package.folder.utf8();
    EXPECT_EQ(run(folder), 0);
    EXPECT_EQ(recording.persisted.size(), c.persistFails ? 1u : 0u);
    if (!c.persistFails) {
        EXPECT_TRUE(recording.members.empty());
    }
    EXPECT_FALSE(isFile(catalogPath));
    EXPECT_TRUE(contains(err, withRoot(c.warning, folder))) << err;
    EXPECT_FALSE(contains(out, "Successfully created"));
    EXPECT_EQ(leftOpen, std::vector<std::wstring>{});
    EXPECT_STREQ(scan_root, "");
}

const EarlyFailure earlyFailures[] = {
    { "HardwareIdAttribute", 1, false, false,
      "libudi:warning [CreateCat] Failed to set HWID1 cat attribute: [#00000005] " },
    { "SystemsAttribute", 2, false, false,
      "libudi:warning [CreateCat] Failed to set OS cat attribute: [#00000005] " },
    { "FolderTooLong", 0, true, false,
      "libudi:warning [CreateCat] Unable to get full path for 'ROOT'.\n\n" },
    { "Writing", 0, false, true, "libudi:warning [CreateCat] Unable to sort file: [#00000070] " },
};

INSTANTIATE_TEST_SUITE_P(CatalogFailure, EarlyFailures, testing::ValuesIn(earlyFailures),
                         [](const testing::TestParamInfo<EarlyFailure> &p) {
                             return p.param.name;
                         });

TEST_F(CatalogFailure, AFunctionMissingOpensNothing)
{
    const struct {
        const char *module;
        const char *function;
    } missing[] = {
        { "WinTrust", "CryptCATOpen" },           { "WinTrust", "CryptCATClose" },
        { "WinTrust", "CryptCATPersistStore" },   { "WinTrust", "CryptCATStoreFromHandle" },
        { "WinTrust", "CryptCATPutCatAttrInfo" },
    };
    for (const auto &m : missing) {
        system_function_restore_all();
        replaceWineStubs();
        system_function_hide(m.module, m.function);
        EXPECT_EQ(run(package.folder.utf8()), 0) << m.function;
        EXPECT_EQ(err, std::string("libudi:error [CreateCat] Unable to locate ") + m.function
                           + "() in " + m.module + "\n\n");
        EXPECT_TRUE(recording.catalogAttributes.empty()) << m.function;
        EXPECT_TRUE(recording.persisted.empty()) << m.function;
        EXPECT_FALSE(isFile(catalogPath)) << m.function;
        EXPECT_EQ(leftOpen, std::vector<std::wstring>{}) << m.function;
    }
}

TEST_F(CatalogFailure, ACatalogThatCannotBeCreatedIsReported)
{
    catalogPath = package.folder.wide(L"absent\\deviceDrv.cat");
    EXPECT_EQ(run(package.folder.utf8()), 0);
    EXPECT_TRUE(contains(err, "libudi:warning [CreateCat] Unable to create file '"
                                  + package.catalog() + "': "))
        << err;
    EXPECT_TRUE(recording.catalogAttributes.empty());
    EXPECT_TRUE(recording.persisted.empty());
    EXPECT_EQ(leftOpen, std::vector<std::wstring>{});
}

TEST_F(CatalogFailure, MissingArgumentsGiveZeroAtOnce)
{
    const char *names[] = { "deviceDrv.inf" };
    const std::string path = package.catalog(), folder = package.folder.utf8();
    EXPECT_EQ(CreateCat(nullptr, hardwareId, folder.c_str(), names, 1), 0);
    EXPECT_EQ(CreateCat(path.c_str(), nullptr, folder.c_str(), names, 1), 0);
    EXPECT_EQ(CreateCat(path.c_str(), hardwareId, nullptr, names, 1), 0);
    EXPECT_EQ(CreateCat(path.c_str(), hardwareId, folder.c_str(), nullptr, 1), 0);
    EXPECT_EQ(CreateCat(path.c_str(), "", folder.c_str(), names, 1), 0);
    EXPECT_TRUE(recording.persisted.empty());
    EXPECT_FALSE(isFile(catalogPath));
    // No list at all is the empty list.
    EXPECT_EQ(CreateCat(path.c_str(), hardwareId, folder.c_str(), nullptr, 0), 1);
    EXPECT_TRUE(recording.members.empty());
}

// A file whose member cannot be made is left out; the catalog is still
// written with the others.
struct MemberFailure {
    const char *name;
    bool memberFails;
    const wchar_t *failingAttribute;  // on winusbcoinstaller2.dll's member
    bool encodingFails;
    bool hashingMissing;
    std::vector<std::wstring> members;
    std::vector<std::string> logged;
};

class MemberFailures : public CatalogFailure,
                       public testing::WithParamInterface<MemberFailure> {
};

TEST_P(MemberFailures, LeaveTheFileOutAndStillWriteTheCatalog)
{
    const MemberFailure &c = GetParam();
    recording.memberFails = c.memberFails;
    if (c.failingAttribute != nullptr) {
        recording.failingFile = L"winusbcoinstaller2.dll";
        recording.failingAttribute = c.failingAttribute;
    }
    if (c.encodingFails)
        system_function_replace("Crypt32", "CryptEncodeObject",
                                reinterpret_cast<system_function>(encodeRefused));
    if (c.hashingMissing)
        system_function_hide("WinTrust", "CryptCATAdminCalcHashFromFileHandle");
    EXPECT_EQ(run(package.folder.utf8()), 1);
    EXPECT_EQ(recording.persisted.size(), 1u);
    // Attributes of a member that failed may have been put; count the whole ones.
    std::vector<std::wstring> whole;
    for (const Member &member : recording.members) {
        if (member.attributes.size() == 2)
            whole.push_back(reinterpret_cast<const wchar_t *>(member.attributes[0].value.data()));
    }
    std::sort(whole.begin(), whole.end());
    EXPECT_EQ(whole, c.members);
    for (const std::string &part : c.logged)
        EXPECT_TRUE(contains(err, withRoot(part, package.folder.utf8()))) << part << "\n" << err;
    EXPECT_EQ(leftOpen, std::vector<std::wstring>{});
}

const MemberFailure memberFailures[] = {
    { "Member", true, nullptr, false, false, {},
      { "libudi:warning [AddFileHash] Unable to create cat entry for file 'devicedrv.inf': "
        "[#00000005] ",
        "libudi:warning [ScanDirAndHash] could not add hash for 'ROOT\\deviceDrv.inf' - ignored\n",
        "could not add hash for 'ROOT\\amd64\\winusbcoinstaller2.dll' - ignored\n" } },
    { "FirstAttribute", false, L"File", false, false, { L"devicedrv.inf" },
      { "libudi:warning [AddFileHash] Unable to create attributes for file "
        "'winusbcoinstaller2.dll': [#00000005] " } },
    { "SecondAttribute", false, L"OSAttr", false, false, { L"devicedrv.inf" },
      { "Unable to create attributes for file 'winusbcoinstaller2.dll': [#00000005] " } },
    { "Encoding", false, nullptr, true, false, {},
      { "libudi:warning [AddFileHash] Unable to encode SPC Image Data: An error occurred during "
        "encode or decode operation.\n" } },
    { "Hashing", false, nullptr, false, true, {},
      { "libudi:error [CalcHash] Unable to locate CryptCATAdminCalcHashFromFileHandle() in "
        "WinTrust\n",
        "could not add hash for 'ROOT\\deviceDrv.inf' - ignored\n" } },
};

INSTANTIATE_TEST_SUITE_P(CatalogFailure, MemberFailures, testing::ValuesIn(memberFailures),
                         [](const testing::TestParamInfo<MemberFailure> &p) {
                             return p.param.name;
                         });

// Wine's own catalog opening, looked at as it leaves the file.
bool fileAfterOpening = false;

HANDLE WINAPI openAndLook(LPWSTR path, DWORD flags, HCRYPTPROV provider, DWORD version,
                          DWORD encoding)
{
    const HANDLE catalog = CryptCATOpen(path, flags, provider, version, encoding);
    fileAfterOpening = isFile(path);
    return catalog;
}

// Wine's own catalog calls all the way: opening makes an empty file, putting
// the hardware id is not implemented, and nothing is left behind.
TEST_F(CatalogFailure, WinesOwnCallsLeaveNoCatalog)
{
    system_function_restore_all();
    system_function_replace("WinTrust", "CryptCATOpen",
                            reinterpret_cast<system_function>(openAndLook));
    EXPECT_EQ(run(package.folder.utf8()), 0);
    EXPECT_TRUE(fileAfterOpening);
    EXPECT_TRUE(contains(err, "libudi:warning [CreateCat] Failed to set HWID1 cat attribute: "
                              "[#00000078] "))
        << err;
    EXPECT_FALSE(contains(out, "Successfully created"));
    EXPECT_FALSE(isFile(catalogPath));
    EXPECT_EQ(leftOpen, std::vector<std::wstring>{});
}

// ---- The parts on their own -------------------------------------------------

TEST(CatalogParts, CalcHashGivesTheHashOfAFileThatCanBeOpened)
{
    TempFolder folder;
    writeFile(folder.wide(L"deviceDrv.inf"), infContent);
    uint8_t hash[20] = {};
    EXPECT_NE(CalcHash(hash, folder.utf8(L"deviceDrv.inf").c_str()), 0);
    EXPECT_EQ(bytes(hash, sizeof(hash)), sha1(infContent));
    EXPECT_EQ(CalcHash(hash, folder.utf8(L"absent.inf").c_str()), 0);
    EXPECT_EQ(CalcHash(hash, nullptr), 0);
    EXPECT_EQ(CalcHash(nullptr, folder.utf8(L"deviceDrv.inf").c_str()), 0);
}

TEST(CatalogParts, NormalizeFullPath)
{
    TempFolder folder;
    const std::string root = folder.utf8();
    char out[SCAN_ROOT_SIZE];

    std::string slashed = root + "/amd64/x.dll";
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    ASSERT_TRUE(normalize_full_path(slashed.c_str(), out, sizeof(out)));
    EXPECT_EQ(std::string(out), root + "\\amd64\\x.dll");

    ASSERT_TRUE(normalize_full_path((root + "\\amd64\\..\\x86").c_str(), out, sizeof(out)));
    EXPECT_EQ(std::string(out), root + "\\x86");

    // The result with its terminator must fit, to the byte.
    EXPECT_TRUE(normalize_full_path(root.c_str(), out, root.size() + 1));
    EXPECT_FALSE(normalize_full_path(root.c_str(), out, root.size()));

    EXPECT_FALSE(normalize_full_path(nullptr, out, sizeof(out)));
    EXPECT_FALSE(normalize_full_path(root.c_str(), nullptr, sizeof(out)));
    EXPECT_FALSE(normalize_full_path(root.c_str(), out, 0));
}

}  // namespace
