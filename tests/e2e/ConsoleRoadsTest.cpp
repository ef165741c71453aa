// The updater started from a console: the driver library's log lines, which
// it writes to standard output and standard error, show in that console, and
// go to a file instead when the streams were sent there.
#include "UpdaterRun.h"

#include "support/FakeUsbDevices.h"
#include "support/MessageLoop.h"

namespace
{
    constexpr int windowTimeoutMs = 30000;
    constexpr int lineTimeoutMs = 20000;

    const testsupport::PageLook firstPage =
        testsupport::PageLook::step (1, "Update MCU", firstInstruction, "Next").withoutToast();

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
        }

        ~OwnConsole() { FreeConsole(); }

        bool made = false;

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
    };
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

    void TearDown() override
    {
        if (screen != nullptr && ! updater->hasEnded())
        {
            EXPECT_TRUE (screen->closeWindow());
            DWORD exitCode = 99;
            EXPECT_TRUE (updater->endsWithin (15000, exitCode));
        }

        endProgramsIn (folder.root);
    }

    UserFolder folder;
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
    const auto file = folder.root.getChildFile ("updater output.txt");
    SECURITY_ATTRIBUTES inheritable { sizeof (inheritable), nullptr, TRUE };
    const auto output = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE (output, INVALID_HANDLE_VALUE);

    startAndCheckTheDriver ({ output });
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return file.loadFileAsString().contains (warning); }, lineTimeoutMs))
        << "the file holds: " << file.loadFileAsString();
    EXPECT_FALSE (console.text().contains ("libudi")) << console.text().trimEnd();
    CloseHandle (output);
}
