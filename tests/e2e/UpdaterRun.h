#pragma once

#include "support/PageLook.h"
#include "support/ScreenshotScript.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <windows.h>

// What the end-to-end roads stand on: a user's folder laid out as
// scripts/run lays out build/dist, the real updater started from it, and
// its window looked at on the screen and clicked from outside through
// scripts/lib/screenshot.

// The first page's instruction, which every road reads first.
inline const juce::String firstInstruction = "Hold down the pair button while plugging in the power cable to put the "
                                             "Kelvane into firmware update mode, which is indicated by a solid white "
                                             "light.";

// The message under the updating page's title, which every road through a
// download reads.
inline const juce::String updatingMessage = "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac "
                                            "during the update process.";

// The programs the roads use, from the command line.
struct RoadPrograms
{
    juce::File updater;     // the built "Kelvane Firmware Updater.exe"
    juce::File fakeTool;    // tests/doubles' stand-in, as dfu-util.exe
    juce::File realDfuUtil; // the cross-built dfu-util.exe
};
const RoadPrograms& roadPrograms();

// The one link to the screenshot tool of this run.
testsupport::ScreenshotScript& screenshotScript();

// A folder of the user's with the updater in it, below TEMP, with a blank in
// its path as "Program Files" has; removed with everything in it.
class UserFolder
{
public:
    UserFolder();
    ~UserFolder();

    juce::File updater() const;
    juce::File images() const { return root.getChildFile ("Images"); }

    // dfu-util.exe beside the updater: a copy of `tool`.
    void putDfuUtil (const juce::File& tool);
    // Images\kelvane-fw.bin and, unless absent, Images\version.txt.
    void putFirmware();
    void putVersionFile (const juce::String& content);

    juce::File root;
};

// The updater started as a user starts it, from its own folder. Ended by
// force if a road leaves it running.
class RunningUpdater
{
public:
    explicit RunningUpdater (const juce::File& exe);

    // Started as from a console, whose program is this test's. Wine gives a
    // windows program the console of the program that starts it, and that
    // console's handles, which Windows never does; started detached, it has
    // neither here either. `output`, when given, is where both its standard
    // streams go, as cmd's "> file 2>&1" sends them.
    struct FromConsole
    {
        HANDLE output = nullptr;
    };
    RunningUpdater (const juce::File& exe, FromConsole start);
    ~RunningUpdater();

    bool started() const { return process.hProcess != nullptr; }
    DWORD processId() const { return process.dwProcessId; }

    // Waits for its visible window; true when it is up.
    bool waitForWindow (int ms);

    // The window's content area on the screen, in physical pixels.
    juce::Rectangle<int> contentOnScreen() const;

    // True with its exit code once it has ended within the time.
    bool endsWithin (int ms, DWORD& exitCode) const;
    bool hasEnded() const;

    HWND window = nullptr;

private:
    PROCESS_INFORMATION process {};
};

// Looks at the running updater's window and clicks it, as a person would.
class Screen
{
public:
    Screen (RunningUpdater& updater, const juce::String& road);

    // Waits until the window shows the look, reading the screen again and
    // again, every few milliseconds; on failure it says what the last look
    // differed in and keeps its picture as <road>_<look>_failed.png.
    testing::AssertionResult shows (const testsupport::PageLook& look, int timeoutMs);

    // Keeps a still picture of the window under the name, for a person.
    bool keep (const juce::String& name);

    // Keeps the look that `shows` last found as it was, under the name: for
    // a page that is up only for a moment or never holds still.
    bool keepLast (const juce::String& name) const;

    // Clicks the middle of the red action button of the last look seen.
    testing::AssertionResult clickButton (int clicks = 1);

    // Closes the window as a person does where no window manager draws its
    // frame and so its close button (Wine's windows on a bare X display):
    // a click into the window for the keyboard, then Alt+F4, which the
    // system turns into the same close request as the close button. The
    // keys wait until a click has brought the window to the front, as a
    // person waits to see it active: keys go to the window in front.
    testing::AssertionResult closeWindow();

    juce::Image last;

private:
    RunningUpdater& updater;
    juce::String road;
    int looks = 0;
};

// Ends every process whose program lies in the folder: a tool that the
// updater started and that goes on after it. The number of them ended.
int endProgramsIn (const juce::File& folder);

// The updater's log file in the Documents folder, whole.
juce::File updaterLog();
std::string fileBytes (const juce::File& file);
