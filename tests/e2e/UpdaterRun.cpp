#include "UpdaterRun.h"

#include "support/MessageLoop.h"
#include "support/ScreenPixels.h"

#include <iterator>
#include <tlhelp32.h>

namespace
{
    const wchar_t* const windowTitle = L"Kelvane Firmware Updater";

    struct WindowSearch
    {
        DWORD processId;
        HWND found;
    };

    bool savePicture (const juce::Image& image, const juce::String& name)
    {
        const auto folder = juce::SystemStats::getEnvironmentVariable ("KELVANE_SCREENSHOT_DIR", {});

        if (folder.isEmpty() || ! image.isValid())
            return false;

        const auto file = juce::File (folder).getChildFile (name + ".png");
        file.deleteFile();
        juce::FileOutputStream stream (file);
        juce::PNGImageFormat png;
        return stream.openedOk() && png.writeImageToStream (image, stream);
    }
}

UserFolder::UserFolder()
{
    root = juce::File::getSpecialLocation (juce::File::tempDirectory)
               .getNonexistentChildFile ("Kelvane user folder", "", true);
    root.createDirectory();
    root.getChildFile ("Images").getChildFile ("ESP32bin").createDirectory();
    roadPrograms().updater.copyFileTo (updater());
}

UserFolder::~UserFolder()
{
    // The tools and the updater may hold their files for a moment after
    // they end.
    testsupport::pumpUntil ([this] { return root.deleteRecursively(); }, 5000);
}

juce::File UserFolder::updater() const
{
    return root.getChildFile ("Kelvane Firmware Updater.exe");
}

void UserFolder::putDfuUtil (const juce::File& tool)
{
    tool.copyFileTo (root.getChildFile ("dfu-util.exe"));
}

void UserFolder::putFirmware()
{
    juce::MemoryBlock image;
    for (int i = 0; i < 4096; ++i)
        image.append ("\x55\xAA", 2);
    images().getChildFile ("kelvane-fw.bin").replaceWithData (image.getData(), image.getSize());
}

void UserFolder::putVersionFile (const juce::String& content)
{
    images().getChildFile ("version.txt").replaceWithText (content, false, false, nullptr);
}

RunningUpdater::RunningUpdater (const juce::File& exe)
{
    const auto path = exe.getFullPathName();
    const auto folder = exe.getParentDirectory().getFullPathName();
    std::wstring commandLine = L"\"" + std::wstring (path.toWideCharPointer()) + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);

    if (! CreateProcessW (path.toWideCharPointer(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.toWideCharPointer(), &startup, &process))
        process = {};
}

RunningUpdater::RunningUpdater (const juce::File& exe, FromConsole start)
{
    const auto path = exe.getFullPathName();
    const auto folder = exe.getParentDirectory().getFullPathName();
    std::wstring commandLine = L"\"" + std::wstring (path.toWideCharPointer()) + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);

    if (start.output != nullptr)
    {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = start.output;
        startup.hStdError = start.output;
    }

    if (! CreateProcessW (path.toWideCharPointer(), commandLine.data(), nullptr, nullptr, start.output != nullptr,
                          DETACHED_PROCESS, nullptr, folder.toWideCharPointer(), &startup, &process))
        process = {};
}

RunningUpdater::~RunningUpdater()
{
    if (! started())
        return;

    if (WaitForSingleObject (process.hProcess, 0) == WAIT_TIMEOUT)
    {
        TerminateProcess (process.hProcess, 1);
        WaitForSingleObject (process.hProcess, 5000);
    }

    CloseHandle (process.hThread);
    CloseHandle (process.hProcess);
}

bool RunningUpdater::waitForWindow (int ms)
{
    return testsupport::pumpUntil (
        [this] {
            WindowSearch search { process.dwProcessId, nullptr };
            EnumWindows (
                [] (HWND candidate, LPARAM context) -> BOOL {
                    auto& wanted = *reinterpret_cast<WindowSearch*> (context);
                    DWORD owner = 0;
                    GetWindowThreadProcessId (candidate, &owner);
                    wchar_t text[256] = {};
                    GetWindowTextW (candidate, text, 256);

                    if (owner == wanted.processId && IsWindowVisible (candidate)
                        && std::wstring (text) == windowTitle)
                    {
                        wanted.found = candidate;
                        return FALSE;
                    }

                    return TRUE;
                },
                reinterpret_cast<LPARAM> (&search));
            window = search.found;
            return window != nullptr;
        },
        ms);
}

juce::Rectangle<int> RunningUpdater::contentOnScreen() const
{
    RECT client {};
    GetClientRect (window, &client);
    POINT origin { 0, 0 };
    ClientToScreen (window, &origin);
    return { origin.x, origin.y, client.right - client.left, client.bottom - client.top };
}

bool RunningUpdater::endsWithin (int ms, DWORD& exitCode) const
{
    const auto ended = testsupport::pumpUntil ([this] { return hasEnded(); }, ms);

    if (ended)
        GetExitCodeProcess (process.hProcess, &exitCode);

    return ended;
}

bool RunningUpdater::hasEnded() const
{
    return WaitForSingleObject (process.hProcess, 0) == WAIT_OBJECT_0;
}

Screen::Screen (RunningUpdater& updaterToWatch, const juce::String& roadName)
    : updater (updaterToWatch), road (roadName)
{
}

testing::AssertionResult Screen::shows (const testsupport::PageLook& look, int timeoutMs)
{
    ++looks;
    const auto until = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    juce::StringArray differences;

    for (;;)
    {
        if (updater.hasEnded())
            return testing::AssertionFailure() << "the updater ended before it showed the " << look.name;

        last = testsupport::screenPixels (updater.contentOnScreen());

        if (! last.isValid())
            return testing::AssertionFailure() << "the screen could not be read";

        differences = testsupport::differencesFrom (last, look);

        if (differences.isEmpty())
            return testing::AssertionSuccess();

        if (juce::Time::getMillisecondCounter() > until)
            break;

        testsupport::pumpFor (10);
    }

    const auto kept = road + "_" + juce::String (looks) + "_failed";
    savePicture (last, kept);
    return testing::AssertionFailure() << "within " << timeoutMs << " ms the window never showed the " << look.name
                                       << "; the last look (" << kept << ".png):\n  "
                                       << differences.joinIntoString ("\n  ");
}

bool Screen::keep (const juce::String& name)
{
    return screenshotScript().shot (name, updater.contentOnScreen());
}

bool Screen::keepLast (const juce::String& name) const
{
    return savePicture (last, name);
}

testing::AssertionResult Screen::clickButton (int clicks)
{
    const auto button = testsupport::findActionButton (last);

    if (button.isEmpty())
        return testing::AssertionFailure() << "no action button to click";

    const auto at = updater.contentOnScreen().getPosition() + button.getCentre();

    if (! screenshotScript().click (at, clicks))
        return testing::AssertionFailure() << "the click was refused";

    return testing::AssertionSuccess();
}

testing::AssertionResult Screen::closeWindow()
{
    // Every program under this Wine shares one desktop, and so one window in
    // front, whatever display it shows on: a test program beside this one
    // that opens a window of its own can take the front, and keys pressed
    // then go to it. So the click is repeated, as a person clicks again into
    // a window that did not become active, until the updater is in front.
    // The picture slot takes a click without doing anything.
    const auto content = updater.contentOnScreen();
    const auto slot = content.getPosition() + juce::Point<int> (content.getWidth() / 2, 200);
    const auto inFront = [this] { return GetForegroundWindow() == updater.window; };
    bool front = false;

    for (int click = 0; click < 10 && ! front; ++click)
    {
        if (! screenshotScript().click (slot))
            return testing::AssertionFailure() << "the click into the window was refused";

        front = testsupport::pumpUntil (inFront, 1000);
    }

    if (! front)
    {
        wchar_t title[128] = {};
        GetWindowTextW (GetForegroundWindow(), title, (int) std::size (title));
        return testing::AssertionFailure() << "ten clicks did not bring the window to the front; in front: \""
                                           << juce::String (title) << "\"";
    }

    if (! screenshotScript().pressKeys ("alt+F4"))
        return testing::AssertionFailure() << "the keys were refused";

    return testing::AssertionSuccess();
}

int endProgramsIn (const juce::File& folder)
{
    const auto snapshot = CreateToolhelp32Snapshot (TH32CS_SNAPPROCESS, 0);

    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;

    int ended = 0;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof (entry);

    for (auto more = Process32FirstW (snapshot, &entry); more; more = Process32NextW (snapshot, &entry))
    {
        const auto process = OpenProcess (PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                          entry.th32ProcessID);

        if (process == nullptr)
            continue;

        wchar_t path[MAX_PATH] = {};
        DWORD length = MAX_PATH;

        if (QueryFullProcessImageNameW (process, 0, path, &length)
            && juce::File (juce::String (path, (size_t) length)).isAChildOf (folder)
            && TerminateProcess (process, 1))
        {
            WaitForSingleObject (process, 5000);
            ++ended;
        }

        CloseHandle (process);
    }

    CloseHandle (snapshot);
    return ended;
}

juce::File updaterLog()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile ("Ornvale")
        .getChildFile ("kelvane_updater.log");
}

std::string fileBytes (const juce::File& file)
{
    juce::MemoryBlock bytes;

    if (! file.loadFileAsData (bytes) || bytes.getSize() == 0)
        return {};

    return { (const char*) bytes.getData(), bytes.getSize() };
}
