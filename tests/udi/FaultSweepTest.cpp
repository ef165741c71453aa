// Every system function that a public operation binds at run time, made to
// fail in turn: once missing, as on a system that lacks it, and once
// present but answering with its failure and a plausible last error.
//
// Nobody lists the functions: a normal run of each operation, watched
// through the binding's observer, names what it looks up, so a function
// bound later is swept as well. Each case must end in a result of the
// operation's own, with a log line that tells of the failure, and leave
// nothing behind: no handle open, no operation lock (the same operation then
// succeeds), no key container and no trusted certificate whose key lives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include <windows.h>
#include <cfgmgr32.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include "support/ChildProcess.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/MachineCertificates.h"
#include "support/OpenHandles.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevice;
using udi_test::FakeUsbDevices;
using udi_test::keyContainerExists;
using udi_test::lockExists;
using udi_test::OpenHandles;
using udi_test::StreamCapture;
using udi_test::TempFolder;

namespace {

// ---- What the binding is asked for -------------------------------------------

struct BoundFunction {
    std::string module;
    std::string function;
    std::string caller;  // the first function that looked it up
};

std::vector<BoundFunction> *lookups = nullptr;

void recordLookup(const char *module, const char *function, const char *caller)
{
    if (lookups == nullptr)
        return;
    for (const auto &seen : *lookups) {
        if (seen.function == function && _stricmp(seen.module.c_str(), module) == 0)
            return;
    }
    lookups->push_back({ module, function, caller != nullptr ? caller : "" });
}

// ---- The failing stand-in ----------------------------------------------------

// One stand-in serves every function: on x64 the caller's arguments go
// unread in registers and on its own stack, and the answer comes back in
// one register, whatever the function's type.
ULONG_PTR failingAnswer = 0;
DWORD failingError = 0;
int failingCalls = 0;

ULONG_PTR WINAPI failingFunction()
{
    failingCalls++;
    SetLastError(failingError);
    return failingAnswer;
}

struct FailureForm {
    ULONG_PTR answer;
    DWORD lastError;
};

// Most bound functions fail with FALSE, NULL or 0 and say why in the last
// error. These answer otherwise.
FailureForm failureFormOf(const std::string &function)
{
    static const struct {
        const char *function;
        FailureForm form;
    } others[] = {
        // Configuration-manager calls answer with a CR code of their own.
        { "CM_Get_Device_IDA", { CR_NO_SUCH_DEVINST, 0 } },
        { "CMP_WaitNoPendingInstallEvents", { WAIT_FAILED, ERROR_ACCESS_DENIED } },
        { "CryptCATOpen",
          { reinterpret_cast<ULONG_PTR>(INVALID_HANDLE_VALUE), ERROR_ACCESS_DENIED } },
        { "CoCreateGuid",
          { static_cast<ULONG_PTR>(static_cast<ULONG>(HRESULT_FROM_WIN32(RPC_S_UUID_NO_ADDRESS))),
            0 } },
        { "SignerSignEx",
          { static_cast<ULONG_PTR>(static_cast<ULONG>(E_ACCESSDENIED)), ERROR_ACCESS_DENIED } },
        { "MultiByteToWideChar", { 0, ERROR_NO_UNICODE_TRANSLATION } },
        { "GetFileVersionInfoSizeW", { 0, ERROR_RESOURCE_TYPE_NOT_FOUND } },
        { "GetFileVersionInfoW", { 0, ERROR_RESOURCE_TYPE_NOT_FOUND } },
        { "VerQueryValueW", { 0, ERROR_RESOURCE_TYPE_NOT_FOUND } },
    };
    for (const auto &other : others) {
        if (function == other.function)
            return other.form;
    }
    return { 0, ERROR_ACCESS_DENIED };
}

// A function that lets go of something is only swept missing: its failing
// stand-in would keep what the system was to free, a leak of the sweep's
// own making. A function without a failure has no failing form.
bool sweptOnlyMissing(const std::string &function)
{
    return function.find("Free") != std::string::npos
        || function.find("Close") != std::string::npos
        || function.find("Release") != std::string::npos || function == "GetLocalTime"
        // FALSE is its answer for a user, not a failure.
        || function == "IsUserAnAdmin";
}

// ---- The operations ----------------------------------------------------------

struct Operation {
    const char *name;
    const char *lock;                     // the operation lock's name
    std::set<udi_result> results;         // what its table lets it give
    std::function<void()> setUp;          // before each run, not watched
    std::function<udi_result()> run;
    std::function<void()> tearDown;       // after each run, not watched
    // Put in before every run of the row; a swept function replaces them.
    std::function<void()> standIns = [] {};
    // Functions the stand-ins take the place of, swept by another row.
    std::set<std::string> notSwept = {};
    // Log lines of the stand-ins' own making, not the sweep's.
    std::vector<std::string> standInLines = {};
    // Handles that Wine itself keeps after the row's runs.
    std::vector<std::wstring> wineHandles = {};
    // The run after each case that shows the lock gone; the row's own run
    // when empty.
    std::function<udi_result()> runAgain = {};
};

// The listing over a few devices of the test's own, with the application's
// options; each run's list is freed after it.
udi_device_node *listed = nullptr;

void freeListed()
{
    if (listed != nullptr) {
        EXPECT_EQ(udi_destroy_list(listed), UDI_OK);
    }
    listed = nullptr;
}

udi_result listWithDrivers()
{
    const udi_list_options options = { 1, 0, 0 };
    return udi_create_list(&listed, &options);
}

// The application's preparation: WinUSB, options all zero, as administrator
// (Wine's user is one), into a new folder each run.
std::unique_ptr<TempFolder> packageFolder;
udi_device_node kelvane = {};

void newPackageFolder()
{
    packageFolder = std::make_unique<TempFolder>();
    // Each run reads the kinds' version records anew, as a process's first does.
    std::memset(driver_version_cache, 0, sizeof(driver_version_cache));
}

udi_result prepareKelvane()
{
    kelvane.vendor_id = 0x6E3C;
    kelvane.product_id = 0x0222;
    kelvane.description = const_cast<char *>("Kelvane DFU");
    const udi_prepare_options options = {};
    return udi_prepare_driver(&kelvane, packageFolder->utf8().c_str(), "deviceDrv.inf", &options);
}

const std::string kelvaneSubject = "CN=USB\\VID_6E3C&PID_0222 (libudi autogenerated)";

// The signing's 4096-bit key costs seconds on Wine. Without the certificate
// maker the signing stops before it makes one.
void signingStopsBeforeTheKey()
{
    system_function_hide("Crypt32", "CertCreateSelfSignCertificate");
}

// Wine 8 only pretends to put a catalog's attributes and members, and never
// writes the file: without these the preparation would stop at the catalog
// and never reach the signing.
char fakeAttribute[64], fakeMember[64];

void *WINAPI putCatalogAttribute(HANDLE, LPWSTR, DWORD, DWORD, BYTE *)
{
    return fakeAttribute;
}

void *WINAPI putMember(HANDLE, LPWSTR, LPWSTR, GUID *, DWORD, DWORD, BYTE *)
{
    return fakeMember;
}

void *WINAPI putMemberAttribute(HANDLE, void *, LPWSTR, DWORD, DWORD, BYTE *)
{
    return fakeAttribute;
}

BOOL WINAPI persistCatalog(HANDLE)
{
    return TRUE;
}

void catalogComesAbout()
{
    system_function_replace("WinTrust", "CryptCATPutCatAttrInfo",
                            reinterpret_cast<system_function>(putCatalogAttribute));
    system_function_replace("WinTrust", "CryptCATPutMemberInfo",
                            reinterpret_cast<system_function>(putMember));
    system_function_replace("WinTrust", "CryptCATPutAttrInfo",
                            reinterpret_cast<system_function>(putMemberAttribute));
    system_function_replace("WinTrust", "CryptCATPersistStore",
                            reinterpret_cast<system_function>(persistCatalog));
}
const char *const signingStopLine =
    "libudi:error [CreateSelfSignedCert] Unable to locate CertCreateSelfSignCertificate() in "
    "Crypt32\n\n";

// Wine makes no SHA-256 self-signed certificate, which it is asked for as a
// Windows above 7: the signing goes on with a SHA-1 one.
PCCERT_CONTEXT WINAPI sha1SelfSigned(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE provider,
                                     PCERT_NAME_BLOB subject, DWORD flags,
                                     PCRYPT_KEY_PROV_INFO key, PCRYPT_ALGORITHM_IDENTIFIER,
                                     PSYSTEMTIME start, PSYSTEMTIME end,
                                     PCERT_EXTENSIONS extensions)
{
    CRYPT_ALGORITHM_IDENTIFIER sha1 = { const_cast<LPSTR>(szOID_RSA_SHA1RSA), {} };
    return CertCreateSelfSignCertificate(provider, subject, flags, key, &sha1, start, end,
                                         extensions);
}

void signingOnSha1()
{
    catalogComesAbout();
    system_function_replace("Crypt32", "CertCreateSelfSignCertificate",
                            reinterpret_cast<system_function>(sha1SelfSigned));
}

// The application's installation (no window, no filter, no wait) of a
// package whose installer is the tests' scripted double: it connects,
// reports success and ends.
std::unique_ptr<TempFolder> installFolder;
udi_device_node installed = {};

void newInstallFolder()
{
    installFolder = std::make_unique<TempFolder>();
    ASSERT_TRUE(CopyFileW(udi_test::probePath(L"udi_installer_double.exe").c_str(),
                          installFolder->wide(L"installer_x64.exe").c_str(), FALSE));
    udi_test::writeFile(installFolder->wide(L"script.txt"), "connect\nsend 8\nclose\nexit 0\n");
}

udi_result installKelvane()
{
    installed.vendor_id = 0x6E3C;
    installed.product_id = 0x0222;
    installed.device_id = const_cast<char *>("USB\\VID_6E3C&PID_0222\\UDITEST_SWEEP");
    installed.hardware_id = const_cast<char *>("USB\\VID_6E3C&PID_0222");
    const udi_install_options options = {};
    return udi_install_driver(&installed, installFolder->utf8().c_str(), "script.txt", &options);
}

std::vector<Operation> operations()
{
    const std::set<udi_result> preparationResults = {
        UDI_OK, UDI_ERR_BAD_ARGUMENT, UDI_ERR_FILE_ACCESS, UDI_ERR_MISSING,
        UDI_ERR_OUT_OF_RESOURCES
    };
    const auto signingStopped = [] {
        catalogComesAbout();
        signingStopsBeforeTheKey();
    };
    const auto withSigningStopped = [signingStopped] {
        signingStopped();
        return prepareKelvane();
    };
    return {
        { "udi_create_list", "udi_create_list",
          { UDI_OK, UDI_ERR_DEVICE_LIST_EMPTY, UDI_ERR_OUT_OF_RESOURCES },
          [] { listed = nullptr; },
          listWithDrivers,
          freeListed },
        { "udi_destroy_list", "udi_destroy_list", { UDI_OK, UDI_ERR_OUT_OF_RESOURCES },
          [] {
              listed = nullptr;
              StreamCapture quiet;
              ASSERT_EQ(listWithDrivers(), UDI_OK);
          },
          [] {
              const udi_result r = udi_destroy_list(listed);
              if (r == UDI_OK)
                  listed = nullptr;
              return r;
          },
          freeListed },
        // Everything up to the signing's key, the signing's key kept out.
        { "udi_prepare_driver", "udi_prepare_driver", preparationResults, newPackageFolder,
          prepareKelvane, [] { packageFolder.reset(); }, signingStopped,
          { "CertCreateSelfSignCertificate" }, { signingStopLine }, {} },
        // The signing from its key on, for what the first row did not reach:
        // a key each case.
        { "udi_prepare_driver", "udi_prepare_driver", preparationResults, newPackageFolder,
          prepareKelvane, [] { packageFolder.reset(); }, signingOnSha1, {}, {},
          // Wine keeps the key container's registry key open after the
          // container is made and used, nameless once it is deleted, and a
          // store's key once a copy in it was replaced.
          { L"\\REGISTRY\\Machine\\Software\\Wine\\Crypto\\RSA\\libudi key container",
            L"(Key)", L"\\REGISTRY\\Machine\\Software\\Microsoft\\SystemCertificates\\Root",
            L"\\REGISTRY\\Machine\\Software\\Microsoft\\SystemCertificates\\TrustedPublisher" },
          withSigningStopped },
        { "udi_install_driver", "install_driver_internal",
          { UDI_OK, UDI_ERR_BAD_ARGUMENT, UDI_ERR_MISSING, UDI_ERR_TIMED_OUT,
            UDI_ERR_INSTALL_PENDING, UDI_ERR_OUT_OF_RESOURCES, UDI_ERR_CANCELLED,
            UDI_ERR_LAUNCH_FAILED, UDI_ERR_INSTALLER_FAILED },
          newInstallFolder, installKelvane, [] { installFolder.reset(); } },
    };
}

// ---- One case ----------------------------------------------------------------

enum class Mode { Missing, Failing };

struct Case {
    const Operation *operation;
    BoundFunction bound;
    Mode mode;

    std::string name() const
    {
        return std::string(operation->name) + " " + bound.module + "!" + bound.function
            + (mode == Mode::Missing ? " missing" : " failing");
    }
};

bool hasFailureLine(const std::string &log)
{
    return log.find("libudi:error [") != std::string::npos
        || log.find("libudi:warning [") != std::string::npos;
}

std::string joined(const std::vector<std::wstring> &names)
{
    std::string text;
    for (const auto &name : names)
        text += " " + std::string(name.begin(), name.end());
    return text;
}

std::string withoutLines(std::string log, const std::vector<std::string> &lines)
{
    for (const auto &line : lines) {
        for (size_t at; (at = log.find(line)) != std::string::npos;)
            log.erase(at, line.size());
    }
    return log;
}

std::vector<std::wstring> withoutWineHandles(std::vector<std::wstring> handles,
                                             const std::vector<std::wstring> &wine)
{
    handles.erase(std::remove_if(handles.begin(), handles.end(),
                                 [&](const std::wstring &handle) {
                                     return std::find(wine.begin(), wine.end(), handle)
                                         != wine.end();
                                 }),
                  handles.end());
    return handles;
}

// Whether a server end of the installer's pipe is still there.
bool installerPipeExists()
{
    HANDLE client = CreateFileA("\\\\.\\pipe\\libudi-installer", GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (client != INVALID_HANDLE_VALUE) {
        CloseHandle(client);
        return true;
    }
    return GetLastError() != ERROR_FILE_NOT_FOUND;
}

// Installer processes that run now; one that was ended may take a moment
// to leave the list.
int installersRunning()
{
    int count = 0;
    for (int tries = 0; tries < 50; tries++, Sleep(100)) {
        count = 0;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = { sizeof(entry) };
        if (snapshot == INVALID_HANDLE_VALUE)
            return -1;
        for (BOOL more = Process32FirstW(snapshot, &entry); more;
             more = Process32NextW(snapshot, &entry))
            count += _wcsicmp(entry.szExeFile, L"installer_x64.exe") == 0;
        CloseHandle(snapshot);
        if (count == 0)
            break;
    }
    return count;
}

void tryCase(const Case &c)
{
    const Operation &operation = *c.operation;
    SCOPED_TRACE(c.name());
    std::printf("[ sweep    ] %s\n", c.name().c_str());
    std::fflush(stdout);

    const OpenHandles handles;
    operation.setUp();
    operation.standIns();
    if (c.mode == Mode::Missing) {
        system_function_hide(c.bound.module.c_str(), c.bound.function.c_str());
    } else {
        const FailureForm form = failureFormOf(c.bound.function);
        failingAnswer = form.answer;
        failingError = form.lastError;
        failingCalls = 0;
        system_function_replace(c.bound.module.c_str(), c.bound.function.c_str(),
                                reinterpret_cast<system_function>(failingFunction));
    }

    StreamCapture capture;
    const udi_result result = operation.run();
    capture.finish();
    system_function_restore_all();
    operation.tearDown();
    const std::string log = withoutLines(capture.out() + capture.err(), operation.standInLines);

    EXPECT_TRUE(operation.results.count(result) == 1)
        << "result " << result << " is not one of the operation's\n" << log;
    if (c.mode == Mode::Missing) {
        EXPECT_NE(log.find("Unable to locate " + c.bound.function + "() in " + c.bound.module),
                  std::string::npos)
            << log;
    } else {
        EXPECT_TRUE(hasFailureLine(log)) << "the failure left no error or warning\n" << log;
    }

    const auto left = withoutWineHandles(handles.openedSince(), operation.wineHandles);
    EXPECT_TRUE(left.empty()) << "handles left open:" << joined(left);
    EXPECT_FALSE(lockExists(operation.lock));
    // Its key gone, no certificate that the machine trusts can sign again.
    EXPECT_FALSE(keyContainerExists());
    EXPECT_FALSE(installerPipeExists());
    EXPECT_EQ(installersRunning(), 0);

    // The lock is gone for real: the same operation goes through again.
    operation.setUp();
    operation.standIns();
    StreamCapture quiet;
    const udi_result again = operation.runAgain ? operation.runAgain() : operation.run();
    quiet.finish();
    system_function_restore_all();
    operation.tearDown();
    EXPECT_EQ(again, UDI_OK) << "the next run failed\n" << quiet.out() << quiet.err();
}

// ---- The sweep ---------------------------------------------------------------

class FaultSweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Wine opens a mutex of its own at the first debug output and keeps it.
        OutputDebugStringA("");
        FakeUsbDevices::removeAll();
        udi_test::removeFromTrustingStores(kelvaneSubject);
        udi_test::deleteKeyContainer();
        tree = std::make_unique<FakeUsbDevices>();
        const FakeUsbDevice devices[] = {
            { L"USB\\VID_6E3C&PID_0222\\UDITEST51", { L"USB\\VID_6E3C&PID_0222" }, {},
              L"Kelvane DFU", L"", L"", L"" },
            { L"USB\\VID_6E3C&PID_0444&MI_01\\UDITEST52", { L"USB\\VID_6E3C&PID_0444&MI_01" },
              {}, L"Kelvane Serial", L"", L"usbser", L"" },
        };
        for (const auto &device : devices)
            ASSERT_TRUE(tree->add(device));
    }

    static void TearDownTestSuite()
    {
        tree.reset();
        udi_test::removeFromTrustingStores(kelvaneSubject);
        udi_test::deleteKeyContainer();
    }

    void TearDown() override
    {
        system_function_restore_all();
        lookups = nullptr;
    }

    static std::unique_ptr<FakeUsbDevices> tree;
};

std::unique_ptr<FakeUsbDevices> FaultSweep::tree;

TEST_F(FaultSweep, EveryBoundFunctionMissingAndFailing)
{
    const std::vector<Operation> table = operations();
    std::vector<Case> cases;
    std::set<std::string> names, functions, swept;

    for (const Operation &operation : table) {
        SCOPED_TRACE(operation.name);
        names.insert(operation.name);
        // A first run outside the watch takes what a process takes once
        // (module loads, the device tree's first reading, the stores' first
        // opening).
        operation.setUp();
        operation.standIns();
        {
            StreamCapture quiet;
            operation.run();
        }
        system_function_restore_all();
        operation.tearDown();

        std::vector<BoundFunction> seen;
        operation.setUp();
        operation.standIns();
        lookups = &seen;
        system_function_observe(recordLookup);
        StreamCapture capture;
        const udi_result result = operation.run();
        capture.finish();
        system_function_restore_all();
        lookups = nullptr;
        operation.tearDown();
        ASSERT_EQ(result, UDI_OK) << capture.out() << capture.err();

        size_t added = 0;
        std::printf("[ sweep    ] %s binds %zu function(s):", operation.name, seen.size());
        for (const auto &bound : seen) {
            const std::string function = bound.module + "!" + bound.function;
            std::printf(" %s", function.c_str());
            functions.insert(function);
            if (operation.notSwept.count(bound.function) != 0
                || !swept.insert(std::string(operation.name) + " " + function).second)
                continue;
            added++;
            cases.push_back({ &operation, bound, Mode::Missing });
            if (!sweptOnlyMissing(bound.function))
                cases.push_back({ &operation, bound, Mode::Failing });
        }
        std::printf("; %zu swept here\n", added);
    }

    for (const Case &c : cases)
        tryCase(c);

    std::printf("[ sweep    ] %zu operations, %zu bound functions, %zu cases tried\n",
                names.size(), functions.size(), cases.size());
}

}  // namespace
