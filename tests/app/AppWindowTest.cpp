// Starts the real updater and looks at it from outside, as a user would:
// one window of the right title and size, one only after a second start,
// which leaves the running copy's page and state as they were, and an
// orderly end when the window is closed.
#include "support/PageLook.h"
#include "support/ScreenPixels.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <windows.h>

#include <string>
#include <vector>

namespace
{
    std::wstring updaterPath;

    const wchar_t* const title = L"Kelvane Firmware Updater";

    std::vector<HWND> visibleUpdaterWindows()
    {
        std::vector<HWND> found;
        EnumWindows (
            [] (HWND window, LPARAM context) -> BOOL {
                wchar_t text[256] = {};
                GetWindowTextW (window, text, 256);

                if (IsWindowVisible (window) && std::wstring (text) == title)
                    reinterpret_cast<std::vector<HWND>*> (context)->push_back (window);

                return TRUE;
            },
            reinterpret_cast<LPARAM> (&found));
        return found;
    }

    // A started copy of the updater; ended by force if a test leaves it.
    class Updater
    {
    public:
        Updater()
        {
            STARTUPINFOW startup = {};
            startup.cb = sizeof (startup);
            std::wstring commandLine = L"\"" + updaterPath + L"\" --ignored argument";
            started = CreateProcessW (updaterPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process)
                      != FALSE;
        }

        ~Updater()
        {
            if (! started)
                return;

            if (WaitForSingleObject (process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess (process.hProcess, 1);

            CloseHandle (process.hThread);
            CloseHandle (process.hProcess);
        }

        // The exit code once it has ended within the time, else nothing.
        bool endsWithin (DWORD ms, DWORD& exitCode) const
        {
            if (WaitForSingleObject (process.hProcess, ms) != WAIT_OBJECT_0)
                return false;

            GetExitCodeProcess (process.hProcess, &exitCode);
            return true;
        }

        bool started = false;
        PROCESS_INFORMATION process = {};
    };

    std::vector<HWND> waitForWindows (size_t count, DWORD ms)
    {
        for (DWORD waited = 0;; waited += 50)
        {
            auto windows = visibleUpdaterWindows();

            if (windows.size() >= count || waited >= ms)
                return windows;

            Sleep (50);
        }
    }

    // The window's page as a person sees it, read off the screen, and its
    // action button clicked with the window's own mouse messages. The window
    // is kept above the other test programs' windows on the shared display:
    // the screen shows, and the framework gives a click to, the window in
    // front at the point.
    class Page
    {
    public:
        explicit Page (HWND updaterWindow) : window (updaterWindow)
        {
            SetWindowPos (window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }

        testing::AssertionResult shows (const testsupport::PageLook& look, DWORD timeoutMs)
        {
            juce::StringArray differences;

            for (DWORD waited = 0;; waited += 20)
            {
                last = testsupport::screenPixels (content());
                differences = testsupport::differencesFrom (last, look);

                if (differences.isEmpty())
                    return testing::AssertionSuccess();

                if (waited >= timeoutMs)
                    return testing::AssertionFailure() << "within " << timeoutMs << " ms the window never showed the "
                                                       << look.name << "; the last look:\n  "
                                                       << differences.joinIntoString ("\n  ");

                Sleep (20);
            }
        }

        // Clicks the middle of the red button of the page last seen.
        testing::AssertionResult clickButton() const
        {
            const auto button = testsupport::findActionButton (last);

            if (button.isEmpty())
                return testing::AssertionFailure() << "no action button to click";

            const auto at = MAKELPARAM (button.getCentreX(), button.getCentreY());
            PostMessageW (window, WM_MOUSEMOVE, 0, at);
            PostMessageW (window, WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW (window, WM_LBUTTONUP, 0, at);
            return testing::AssertionSuccess();
        }

    private:
        juce::Rectangle<int> content() const
        {
            RECT client {};
            GetClientRect (window, &client);
            POINT origin { 0, 0 };
            ClientToScreen (window, &origin);
            return { origin.x, origin.y, client.right - client.left, client.bottom - client.top };
        }

        HWND window;
        juce::Image last;
    };

    using testsupport::PageLook;

    const PageLook firstPage = PageLook::step (1, "Update MCU",
                                               "Hold down the pair button while plugging in the power cable to put "
                                               "the Kelvane into firmware update mode, which is indicated by a solid "
                                               "white light.",
                                               "Next");

    // Beside this build lies no dfu-util: the detection fails, and the
    // failure page waits for its Retry.
    const PageLook failurePage = PageLook::step (3, "Update Failed",
                                                 "Please try again. If the error persists, please contact our "
                                                 "support team from the help center below.",
                                                 "Retry");
}

TEST (UpdaterWindow, OneWindowOneInstanceAndAnOrderlyClose)
{
    ASSERT_TRUE (visibleUpdaterWindows().empty()) << "an updater is running already";

    Updater first;
    ASSERT_TRUE (first.started);
    const auto windows = waitForWindows (1, 20000);
    ASSERT_EQ (windows.size(), 1u);

    RECT client = {};
    ASSERT_TRUE (GetClientRect (windows[0], &client));
    EXPECT_EQ (client.right - client.left, 375);
    EXPECT_EQ (client.bottom - client.top, 667);

    // Centred on the main display.
    RECT frame = {};
    ASSERT_TRUE (GetWindowRect (windows[0], &frame));
    const auto screenWidth = GetSystemMetrics (SM_CXSCREEN);
    const auto screenHeight = GetSystemMetrics (SM_CYSCREEN);
    EXPECT_NEAR ((frame.left + frame.right) / 2, screenWidth / 2, 2);
    EXPECT_NEAR ((frame.top + frame.bottom) / 2, screenHeight / 2, 40);

    // Away from the first page, where a flow started afresh would look the
    // same as one left alone.
    Page page (windows[0]);
    ASSERT_TRUE (page.shows (firstPage, 20000));
    ASSERT_TRUE (page.clickButton());
    ASSERT_TRUE (page.shows (failurePage, 30000));

    // A second start hands over to the first and ends without a window.
    {
        Updater second;
        ASSERT_TRUE (second.started);
        DWORD secondExit = 99;
        ASSERT_TRUE (second.endsWithin (20000, secondExit));
        EXPECT_EQ (secondExit, 0u);
    }
    Sleep (300);
    const auto afterSecond = visibleUpdaterWindows();
    ASSERT_EQ (afterSecond.size(), 1u);
    EXPECT_EQ (afterSecond[0], windows[0]);

    // The running copy still shows its page, and is still in the state that
    // showed it: its Retry leads back to the first page. A flow started
    // afresh would show the first page, and nothing would take it on to the
    // failure page; the look may wait for a repaint that the second start
    // caused.
    EXPECT_TRUE (page.shows (failurePage, 5000));
    ASSERT_TRUE (page.clickButton());
    EXPECT_TRUE (page.shows (firstPage, 15000));

    // The close button quits without a question.
    PostMessageW (windows[0], WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    ASSERT_TRUE (first.endsWithin (10000, exitCode));
    EXPECT_EQ (exitCode, 0u);
    EXPECT_TRUE (visibleUpdaterWindows().empty());
}

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);

    if (argc < 2)
    {
        fprintf (stderr, "usage: app_tests <path of the updater>\n");
        return 2;
    }

    const std::string path = argv[1];
    updaterPath.assign (path.begin(), path.end());
    const juce::ScopedJuceInitialiser_GUI framework; // for drawing the looks compared with the screen
    return RUN_ALL_TESTS();
}
