// The installer's own file queue callback, on queues that the test fills:
// Wine's device installation queues nothing there, so this is the way to
// show that a file the system does not find is looked for in the package's
// platform folder, and that one found nowhere stops the copy at once.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <setupapi.h>

#include "DriverPackage.h"
#include "support/TempFolder.h"
#include "udi/payload/installer/file_queue.h"
#include "udi/payload/installer/protocol.h"

using installer_test::DriverPackage;

namespace
{
    struct QueuedFile
    {
        const char* name;
        const wchar_t* file;
        const wchar_t* foundIn;    // where the copy comes from, below the package; nullptr: nowhere
        int status;
    };

    const QueuedFile queuedFiles[] = {
        { "AtTheSourceRoot", L"installer_x64.exe", L"installer_x64.exe", STATUS_OK },
        { "OnlyInThePlatformFolder", L"winusbcoinstaller2.dll", L"amd64\\winusbcoinstaller2.dll", STATUS_OK },
        { "Nowhere", L"nothere.dll", nullptr, STATUS_FILE_ACCESS },
    };

    class FileQueue : public ::testing::TestWithParam<QueuedFile> {};
}

TEST_P (FileQueue, NeverAsksForAFile)
{
    const QueuedFile& queued = GetParam();
    DriverPackage package;
    ASSERT_TRUE (package.ready());
    udi_test::TempFolder destination;

    HSPFILEQ queue = SetupOpenFileQueue();
    ASSERT_NE (queue, INVALID_HANDLE_VALUE);
    ASSERT_TRUE (SetupQueueCopyW (queue, package.folder().c_str(), nullptr, queued.file, nullptr, nullptr,
                                  destination.wide().c_str(), nullptr, 0));
    // Nobody listens: what it reports goes nowhere.
    pipe_client nobody = { INVALID_HANDLE_VALUE, nullptr, 0, ERROR_SUCCESS };
    int restartNeeded = -1;

    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ (commit_file_queue (&nobody, queue, package.folder().c_str(), &restartNeeded), queued.status);
    EXPECT_LT (GetTickCount64() - started, 5000u);
    SetupCloseFileQueue (queue);

    const std::wstring copy = destination.wide (queued.file);
    if (queued.foundIn != nullptr)
    {
        const std::string copied = udi_test::readFile (copy);
        EXPECT_FALSE (copied.empty());
        EXPECT_TRUE (copied == udi_test::readFile (package.path (queued.foundIn)));
        EXPECT_EQ (restartNeeded, 0);
    }
    else
    {
        EXPECT_FALSE (udi_test::isFile (copy));
    }
}

INSTANTIATE_TEST_SUITE_P (QueuedFiles, FileQueue, ::testing::ValuesIn (queuedFiles),
                          [] (const auto& row) { return std::string (row.param.name); });
