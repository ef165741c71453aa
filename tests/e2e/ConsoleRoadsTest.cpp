// The updater started from a console: the driver library's log lines, which
// it writes to standard output and standard error, show in that console, and
// go to a file instead when the streams were sent there. What a console does
// to the programs in it, a Ctrl+C, a Ctrl+Break or its closing, leaves the
// updater's download running.
#include "UpdaterRun.h"

#include "support/FakeUsbDevices.h"
#include "support/MessageLoop.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

namespace
{
    constexpr int windowTimeoutMs = 30000;
    constexpr int pageTimeoutMs = 20000;
    constexpr int lineTimeoutMs = 20000;

    const testsupport::PageLook firstPage =
        testsupport::PageLook::step (1, "Update MCU", firstInstruction, "Next").withoutToast();
    const testsupport::PageLook version = testsupport::PageLook::deviceInfo ("2.4.1", "Update MCU");
    const testsupport::PageLook updating = testsupport::PageLook::updating ("Updating the MCU ...", updatingMessage);

    // The stand-in for dfu-util's listing of the device in firmware-update
    // mode, as a line of its script.
    const juce::String listing = "out Found DFU: [6e3c:0222] ver=0200, devnum=3, cfg=1, intf=0, alt=0\\n";

    // A device on WinUSB whose driver key holds no version: the driver check's
    // listing warns about it on standard error.
    const juce::String warning = "Could not read driver version";

    juce::String roadName()
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        return juce::String (test->test_suite_name()) + "." + test->name();
    }

    // A console of this program's own, as cmd has one, kept out of sight of
    // the window's pictures.
    class OwnConsole
    {
    public:
        OwnConsole()
        {
            FreeConsole();
            made = AllocConsole() != 0;

            if (made)
                ShowWindow (GetConsoleWindow(), SW_HIDE);

            // The keys reach every program in the console, this one too,
            // which counts them and goes on.
            SetConsoleCtrlHandler (countKey, TRUE);
        }

        ~OwnConsole()
        {
            SetConsoleCtrlHandler (countKey, FALSE);
            FreeConsole();
        }

        bool made = false;

        // Presses Ctrl+C or Ctrl+Break in the console, as a user does, and
        // waits until this program has had it: the others in the console
        // have had it handed out at the same time.
        bool press (DWORD key) const
        {
            const auto before = keysHad.load();
            return GenerateConsoleCtrlEvent (key, 0) != 0
                   && testsupport::pumpUntil ([before] { return keysHad.load() > before; }, lineTimeoutMs);
        }

        // Whether the process is one of those in the console.
        bool holds (DWORD processId) const
        {
            std::vector<DWORD> ids (64);
            ids.resize (std::min ((size_t) GetConsoleProcessList (ids.data(), (DWORD) ids.size()), ids.size()));
            return std::find (ids.begin(), ids.end(), processId) != ids.end();
        }

        // Everything on its screen, row after row; a line that wraps reads on.
        juce::String text() const
        {
            const auto screen = CreateFileW (L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, 0, nullptr);
            CONSOLE_SCREEN_BUFFER_INFO info {};
            juce::String all;

            if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo (screen, &info))
            {
                std::vector<wchar_t> row ((size_t) info.dwSize.X + 1);

                for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y)
                {
                    DWORD read = 0;
                    ReadConsoleOutputCharacterW (screen, row.data(), (DWORD) info.dwSize.X, { 0, y }, &read);
                    all += juce::String (row.data(), (size_t) read);
                }
            }

            if (screen != INVALID_HANDLE_VALUE)
                CloseHandle (screen);

            return all;
        }

    private:
        static inline std::atomic<int> keysHad { 0 };

        static BOOL WINAPI countKey (DWORD key)
        {
            if (key != CTRL_C_EVENT && key != CTRL_BREAK_EVENT)
                return FALSE;

            ++keysHad;
            return TRUE;
        }
    };

    // A console's event as Windows' console host hands it to a program in
    // the console: a thread of the system's control routine, started in that
    // program with the event, which calls the program's handlers and, when
    // none takes the event, ends the program. The system's DLLs lie at the
    // same addresses in every process, so the routine's address here is its
    // address there. Wine's console generates no Ctrl+Break, and no close
    // event either: it ends its programs at once when its window closes.
    // Windows' host ends a program that is still in the console some
    // seconds after the close event, which is not reproduced here. True once
    // the routine has come back, or has ended the program.
    bool hand (DWORD event, DWORD processId)
    {
        const auto routine = GetProcAddress (GetModuleHandleW (L"kernel32.dll"), "CtrlRoutine");
        const auto process = OpenProcess (PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION
                                              | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                          FALSE, processId);
        HANDLE thread = nullptr;

        if (routine != nullptr && process != nullptr)
            thread = CreateRemoteThread (process, nullptr, 0,
                                         reinterpret_cast<LPTHREAD_START_ROUTINE> (reinterpret_cast<void*> (routine)),
                                         reinterpret_cast<void*> ((ULONG_PTR) event), 0, nullptr);

        const auto done = thread != nullptr
                          && WaitForSingleObject (thread, (DWORD) lineTimeoutMs) == WAIT_OBJECT_0;

        if (thread != nullptr)
            CloseHandle (thread);
        if (process != nullptr)
            CloseHandle (process);

        return done;
    }
}

class ConsoleRoads : public testing::Test
{
protected:
    void SetUp() override
    {
        udi_test::FakeUsbDevices::removeAll();
        ASSERT_TRUE (devices.add ({ L"USB\\VID_6E3C&PID_0222\\UDITEST0301", { L"USB\\VID_6E3C&PID_0222" }, {},
                                    L"Kelvane DFU", {}, L"WinUSB", {} }));
        folder.putDfuUtil (roadPrograms().fakeTool);
        folder.putFirmware();
        folder.putVersionFile ("2.4.1");
        ASSERT_TRUE (console.made);
    }

    // Up to the driver check, which lists the devices: its lines in the
    // console or the file tell that it ran.
    void startAndCheckTheDriver (RunningUpdater::FromConsole how)
    {
        updater = std::make_unique<RunningUpdater> (folder.updater(), how);
        ASSERT_TRUE (updater->started());
        ASSERT_TRUE (updater->waitForWindow (windowTimeoutMs));
        screen = std::make_unique<Screen> (*updater, roadName());
        ASSERT_TRUE (screen->shows (firstPage, windowTimeoutMs));
        ASSERT_TRUE (screen->clickButton());
    }

    // Up to the download, which the stand-in for dfu-util never ends.
    void startTheDownloadThatHangs (RunningUpdater::FromConsole how)
    {
        tool (listing);
        ASSERT_NO_FATAL_FAILURE (startAndCheckTheDriver (how));
        ASSERT_TRUE (screen->shows (version, pageTimeoutMs));
        tool ("hang");
        ASSERT_TRUE (screen->clickButton());
        ASSERT_TRUE (screen->shows (updating, pageTimeoutMs));
        ASSERT_TRUE (testsupport::pumpUntil ([this] { return toolRuns() == 2; }, pageTimeoutMs));
    }

    // A program that a console's event ends is gone well within this.
    void goesOnWithTheDownload (const char* after)
    {
        ASSERT_FALSE (testsupport::pumpUntil ([this] { return updater->hasEnded(); }, 5000))
            << after << " ended the updater";
        EXPECT_TRUE (screen->shows (updating, 2000)) << "after " << after;
        EXPECT_EQ (toolRuns(), 2) << "after " << after;
    }

    void TearDown() override
    {
        if (screen != nullptr && ! updater->hasEnded())
        {
            EXPECT_TRUE (screen->closeWindow());
            DWORD exitCode = 99;
            EXPECT_TRUE (updater->endsWithin (15000, exitCode));
        }

        endProgramsIn (folder.root);
        SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", nullptr);
    }

    // What the stand-in for dfu-util does from its next run on, after it
    // has recorded the run. Set before the updater starts, which hands it on.
    void tool (const juce::String& lines)
    {
        ASSERT_TRUE (script.getFile().replaceWithText ("args " + runs.getFile().getFullPathName() + "\n" + lines
                                                       + "\n"));
        SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", script.getFile().getFullPathName().toWideCharPointer());
    }

    juce::File outputFile() const { return folder.root.getChildFile ("updater output.txt"); }

    // A file for the updater to inherit as its streams, as "updater > file" makes it.
    static HANDLE openForTheStreams (const juce::File& file)
    {
        SECURITY_ATTRIBUTES inheritable { sizeof (inheritable), nullptr, TRUE };
        return CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS, 0, nullptr);
    }

    int toolRuns() const
    {
        juce::StringArray lines;
        lines.addLines (runs.getFile().loadFileAsString());
        return (int) std::count (lines.begin(), lines.end(), juce::String ("--"));
    }

    UserFolder folder;
    juce::TemporaryFile script { ".txt" };
    juce::TemporaryFile runs { ".txt" };
    udi_test::FakeUsbDevices devices;
    OwnConsole console;
    std::unique_ptr<RunningUpdater> updater;
    std::unique_ptr<Screen> screen;
};

TEST_F (ConsoleRoads, TheDriverLibrarysLinesShowInTheConsoleItWasStartedFrom)
{
    startAndCheckTheDriver ({});
    EXPECT_TRUE (testsupport::pumpUntil ([this] { return console.text().contains ("libudi:warning [")
                                                         && console.text().contains (warning); },
                                         lineTimeoutMs))
        << "the console shows: " << console.text().trimEnd();
}

TEST_F (ConsoleRoads, StreamsSentToAFileStayThere)
{
    const auto file = outputFile();
    const auto output = openForTheStreams (file);
    ASSERT_NE (output, INVALID_HANDLE_VALUE);

    startAndCheckTheDriver ({ output });
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return file.loadFileAsString().contains (warning); }, lineTimeoutMs))
        << "the file holds: " << file.loadFileAsString();
    EXPECT_FALSE (console.text().contains ("libudi")) << console.text().trimEnd();
    CloseHandle (output);
}

TEST_F (ConsoleRoads, CtrlCAndCtrlBreakInTheConsoleLeaveTheDownloadRunning)
{
    ASSERT_NO_FATAL_FAILURE (startTheDownloadThatHangs ({}));
    ASSERT_TRUE (console.holds (updater->processId()));

    ASSERT_TRUE (console.press (CTRL_C_EVENT));
    ASSERT_NO_FATAL_FAILURE (goesOnWithTheDownload ("Ctrl+C"));
    ASSERT_TRUE (hand (CTRL_BREAK_EVENT, updater->processId()));
    goesOnWithTheDownload ("Ctrl+Break");
}

TEST_F (ConsoleRoads, WithBothStreamsSentToAFileTheUpdaterStaysOutOfTheConsole)
{
    const auto file = outputFile();
    const auto output = openForTheStreams (file);
    ASSERT_NE (output, INVALID_HANDLE_VALUE);

    ASSERT_NO_FATAL_FAILURE (startTheDownloadThatHangs ({ output }));
    EXPECT_FALSE (console.holds (updater->processId()));
    ASSERT_TRUE (console.press (CTRL_C_EVENT));
    goesOnWithTheDownload ("Ctrl+C");
    EXPECT_TRUE (file.loadFileAsString().contains (warning)) << "the file holds: " << file.loadFileAsString();
    CloseHandle (output);
}

TEST_F (ConsoleRoads, AConsoleThatClosesLeavesTheDownloadRunning)
{
    ASSERT_NO_FATAL_FAILURE (startTheDownloadThatHangs ({}));
    ASSERT_TRUE (console.holds (updater->processId()));

    // The console's window closed, then the user logged off or the system
    // shut down, as a program in a console is told of them.
    for (const auto& [event, name] : { std::pair { (DWORD) CTRL_CLOSE_EVENT, "the console's close" },
                                       std::pair { (DWORD) CTRL_LOGOFF_EVENT, "a logoff" },
                                       std::pair { (DWORD) CTRL_SHUTDOWN_EVENT, "a shutdown" } })
    {
        ASSERT_TRUE (hand (event, updater->processId())) << name;
        ASSERT_NO_FATAL_FAILURE (goesOnWithTheDownload (name));
        // Out of the console, which Windows' host would end it with.
        EXPECT_FALSE (console.holds (updater->processId())) << "after " << name;
    }
}
