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
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include <windows.h>
#include <cfgmgr32.h>

#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/MachineCertificates.h"
#include "support/OpenHandles.h"
#include "support/StreamCapture.h"
#include "udi/internal.h"

using udi_test::FakeUsbDevice;
using udi_test::FakeUsbDevices;
using udi_test::keyContainerExists;
using udi_test::lockExists;
using udi_test::OpenHandles;
using udi_test::StreamCapture;

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
        || function.find("Release") != std::string::npos || function == "GetLocalTime";
}

// ---- The operations ----------------------------------------------------------

struct Operation {
    const char *name;
    const char *lock;                     // the operation lock's name
    std::set<udi_result> results;         // what its table lets it give
    std::function<void()> setUp;          // before each run, not watched
    std::function<udi_result()> run;
    std::function<void()> tearDown;       // after each run, not watched
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

std::vector<Operation> operations()
{
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

void tryCase(const Case &c)
{
    const Operation &operation = *c.operation;
    SCOPED_TRACE(c.name());
    std::printf("[ sweep    ] %s\n", c.name().c_str());
    std::fflush(stdout);

    const OpenHandles handles;
    operation.setUp();
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
    const std::string log = capture.out() + capture.err();

    EXPECT_TRUE(operation.results.count(result) == 1)
        << "result " << result << " is not one of the operation's\n" << log;
    if (c.mode == Mode::Missing) {
        EXPECT_NE(log.find("Unable to locate " + c.bound.function + "() in " + c.bound.module),
                  std::string::npos)
            << log;
        EXPECT_NE(result, UDI_OK) << "a missing function went unnoticed\n" << log;
    } else {
        EXPECT_TRUE(hasFailureLine(log)) << "the failure left no error or warning\n" << log;
    }

    const auto left = handles.openedSince();
    EXPECT_TRUE(left.empty()) << "handles left open:" << joined(left);
    EXPECT_FALSE(lockExists(operation.lock));
    EXPECT_FALSE(keyContainerExists());

    // The lock is gone for real: the same operation goes through again.
    operation.setUp();
    StreamCapture quiet;
    const udi_result again = operation.run();
    quiet.finish();
    operation.tearDown();
    EXPECT_EQ(again, UDI_OK) << "the next run failed\n" << quiet.out() << quiet.err();
}

// ---- The sweep ---------------------------------------------------------------

class FaultSweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FakeUsbDevices::removeAll();
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

    static void TearDownTestSuite() { tree.reset(); }

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
    std::set<std::string> functions;

    for (const Operation &operation : table) {
        SCOPED_TRACE(operation.name);
        // A first run outside the watch takes what a process takes once
        // (module loads, the device tree's first reading).
        operation.setUp();
        {
            StreamCapture quiet;
            operation.run();
        }
        operation.tearDown();

        std::vector<BoundFunction> seen;
        operation.setUp();
        lookups = &seen;
        system_function_observe(recordLookup);
        StreamCapture capture;
        const udi_result result = operation.run();
        capture.finish();
        system_function_restore_all();
        lookups = nullptr;
        operation.tearDown();
        ASSERT_EQ(result, UDI_OK) << capture.out() << capture.err();

        std::printf("[ sweep    ] %s binds %zu function(s):", operation.name, seen.size());
        for (const auto &bound : seen) {
            std::printf(" %s!%s", bound.module.c_str(), bound.function.c_str());
            functions.insert(bound.module + "!" + bound.function);
            cases.push_back({ &operation, bound, Mode::Missing });
            if (!sweptOnlyMissing(bound.function))
                cases.push_back({ &operation, bound, Mode::Failing });
        }
        std::printf("\n");
    }

    for (const Case &c : cases)
        tryCase(c);

    std::printf("[ sweep    ] %zu operations, %zu bound functions, %zu cases tried\n",
                table.size(), functions.size(), cases.size());
}

}  // namespace
