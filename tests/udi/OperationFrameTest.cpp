#include <gtest/gtest.h>

#include <future>
#include <windows.h>

#include "support/HeldLock.h"
#include "support/StreamCapture.h"
#include "udi/internal.h"

using udi_test::HeldLock;
using udi_test::lockExists;
using udi_test::StreamCapture;

namespace {

const char *const operation = "udi_test_frame";

TEST(OperationFrame, ASecondEntryWhileTheLockExistsIsRefusedAtOnce)
{
    operation_frame first, second;
    ASSERT_EQ(enter_operation(&first, operation, 0), UDI_OK);
    EXPECT_TRUE(lockExists(operation));

    EXPECT_EQ(enter_operation(&second, operation, 0), UDI_ERR_IN_USE);
    EXPECT_EQ(second.lock, nullptr);

    // Another thread of the process fares no better: nothing waits.
    auto fromThread = std::async(std::launch::async, [] {
        operation_frame frame;
        const DWORD start = GetTickCount();
        const udi_result r = enter_operation(&frame, operation, 0);
        return std::make_pair(r, GetTickCount() - start);
    }).get();
    EXPECT_EQ(fromThread.first, UDI_ERR_IN_USE);
    EXPECT_LT(fromThread.second, 1000u);

    // Other operations are not held up.
    operation_frame other;
    ASSERT_EQ(enter_operation(&other, "udi_test_frame_other", 0), UDI_OK);
    leave_operation(&other);

    leave_operation(&first);
    EXPECT_FALSE(lockExists(operation));
    ASSERT_EQ(enter_operation(&second, operation, 0), UDI_OK);
    leave_operation(&second);
    leave_operation(&second);
}

TEST(OperationFrame, ALockOfAnotherProcessRefusesToo)
{
    HeldLock held(L"udi_test_frame_child");
    ASSERT_TRUE(held.held());

    operation_frame frame;
    EXPECT_EQ(enter_operation(&frame, "udi_test_frame_child", 0), UDI_ERR_IN_USE);
    EXPECT_EQ(held.release(), 0);

    ASSERT_EQ(enter_operation(&frame, "udi_test_frame_child", 0), UDI_OK);
    leave_operation(&frame);
}

TEST(OperationFrame, ALockNameTakenByAnotherKindOfObjectIsOutOfResources)
{
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "Global\\udi_test_frame_squatted");
    ASSERT_NE(squatter, nullptr);

    operation_frame frame;
    EXPECT_EQ(enter_operation(&frame, "udi_test_frame_squatted", 0), UDI_ERR_OUT_OF_RESOURCES);
    EXPECT_EQ(frame.lock, nullptr);
    CloseHandle(squatter);

    ASSERT_EQ(enter_operation(&frame, "udi_test_frame_squatted", 0), UDI_OK);
    leave_operation(&frame);
}

// Apart from the suite above: the suites run side by side.
const char *const gatedOperation = "udi_test_gate";

// The version as the kernel tells it, which no compatibility setting caps.
int runningVersionCode()
{
    using GetVersionFunction = LONG(WINAPI *)(OSVERSIONINFOW *);
    auto getVersion = reinterpret_cast<GetVersionFunction>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion")));
    OSVERSIONINFOW version = { sizeof(version) };
    if (getVersion == nullptr || getVersion(&version) != 0)
        return -1;
    return static_cast<int>(version.dwMajorVersion * 16 + version.dwMinorVersion);
}

class VersionGateFrame : public testing::Test {
protected:
    void TearDown() override { windows_version_code = -1; }
};

TEST_F(VersionGateFrame, RefusesWindowsOlderThanSevenWithALogLineAndLeavesNoLock)
{
    operation_frame frame;
    for (int tooOld : { 0x60, 0 }) {
        windows_version_code = tooOld;
        StreamCapture capture;
        EXPECT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_ERR_WINDOWS_TOO_OLD);
        capture.finish();
        EXPECT_EQ(capture.err(), "libudi:error [udi_test_gate] This version of Windows is no "
                                 "longer supported\n");
        EXPECT_FALSE(lockExists(gatedOperation));
    }

    // Operations without the gate do not care.
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 0), UDI_OK);
    leave_operation(&frame);

    windows_version_code = 0x61;
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_OK);
    leave_operation(&frame);
}

TEST_F(VersionGateFrame, DetectsTheVersionOnlyWhileItIsUnknown)
{
    operation_frame frame;
    windows_version_code = -1;
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_OK);
    leave_operation(&frame);
    const int running = runningVersionCode();
    ASSERT_GE(running, 0x61);
    EXPECT_EQ(windows_version_code, running);

    // Known now: the gate does not ask again.
    windows_version_code = 0x62;
    ASSERT_EQ(enter_operation(&frame, gatedOperation, 1), UDI_OK);
    leave_operation(&frame);
    EXPECT_EQ(windows_version_code, 0x62);

    detect_windows_version();
    EXPECT_EQ(windows_version_code, running);
}

}  // namespace
