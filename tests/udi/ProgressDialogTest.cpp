#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include "support/StreamCapture.h"
#include "udi/internal.h"
#include "udi/progress_dialog.h"

using udi_test::StreamCapture;

namespace {

const char *const dialogClass = "udi_progress_class";
// The dialog's title, and its text until the first change.
const char *const dialogTitle = "Installing Driver...";
const UINT runHere = WM_APP + 7;

// What the hook on the test's thread saw of the dialogs made there.
struct DialogWatch {
    std::atomic<HWND> dialog{nullptr};
    std::atomic<int> created{0};
    std::atomic<int> closeRequests{0};
    std::atomic<bool> timerWasRunning{false};
};
DialogWatch watch;

// The dialog's own clock would tick into the counts: the tests stop it as
// soon as the dialog has started it, and tick by hand.
LRESULT CALLBACK watchDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    const auto *call = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
    char name[64] = "";
    if (code == HC_ACTION && call->message == WM_CREATE
        && GetClassNameA(call->hwnd, name, sizeof(name)) > 0 && strcmp(name, dialogClass) == 0) {
        watch.timerWasRunning = KillTimer(call->hwnd, 1) != 0;
        watch.dialog = call->hwnd;
        ++watch.created;
    }
    if (code == HC_ACTION && call->message == WM_CLOSE && call->hwnd == watch.dialog)
        ++watch.closeRequests;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK parentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == runHere) {
        (*reinterpret_cast<const std::function<void()> *>(lParam))();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The window that owns the dialogs, made on the test's thread, which is the
// thread that runs the dialog and its message loop. One for all tests: a
// shown window that goes costs Wine two seconds' wait for a window manager.
class ParentWindow {
public:
    static const ParentWindow &get()
    {
        static const ParentWindow parent;
        return parent;
    }

    ParentWindow(const ParentWindow &) = delete;
    ParentWindow &operator=(const ParentWindow &) = delete;

    // Runs code on the dialog's thread, from any thread, and waits for it.
    void runOnItsThread(const std::function<void()> &code) const
    {
        SendMessageA(window, runHere, 0, reinterpret_cast<LPARAM>(&code));
    }

    HWND window = nullptr;

private:
    ParentWindow()
    {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = parentProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "udi_test_parent";
        RegisterClassExA(&windowClass);
        window = CreateWindowExA(0, "udi_test_parent", "Parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 300, 200, 640, 480, nullptr, nullptr, windowClass.hInstance,
                                 nullptr);
    }
};

// A worker that runs until the test lets it go.
struct HeldWorker {
    HeldWorker()
        : started(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          finish(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~HeldWorker()
    {
        CloseHandle(started);
        CloseHandle(finish);
        if (thread != nullptr)
            CloseHandle(thread);
    }

    static int run(void *argument)
    {
        auto *worker = static_cast<HeldWorker *>(argument);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &worker->thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
        SetEvent(worker->started);
        WaitForSingleObject(worker->finish, 60000);
        return worker->result;
    }

    HANDLE started;
    HANDLE finish;
    HANDLE thread = nullptr;
    int result = 3;
};

int returnsAtOnce(void *argument)
{
    return *static_cast<int *>(argument);
}

int neverCalled(void *argument)
{
    ++*static_cast<std::atomic<int> *>(argument);
    return 0;
}

// The dialog as the test sees it while it is up, from a thread of its own.
struct ShownDialog {
    HWND dialog;
    HWND bar;
    HWND text;

    void tick(int count = 1) const
    {
        for (int i = 0; i < count; ++i)
            SendMessageA(dialog, WM_TIMER, 1, 0);
    }
    std::string textShown() const
    {
        char buffer[256] = "";
        GetWindowTextA(text, buffer, sizeof(buffer));
        return buffer;
    }
};

RECT windowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

// A child's place in its parent's client area.
RECT placeInParent(HWND child)
{
    RECT rect = windowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

::testing::AssertionResult placedAt(HWND window, const RECT &rect, int x, int y, int width,
                                    int height)
{
    if (rect.left == x && rect.top == y && rect.right - rect.left == width
        && rect.bottom - rect.top == height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "window " << window << " is at (" << rect.left << ", " << rect.top << ") "
           << rect.right - rect.left << " x " << rect.bottom - rect.top << ", expected (" << x
           << ", " << y << ") " << width << " x " << height;
}

class ProgressDialog : public testing::Test {
protected:
    void SetUp() override
    {
        watch.dialog = nullptr;
        watch.created = 0;
        watch.closeRequests = 0;
        watch.timerWasRunning = false;
        hook = SetWindowsHookExA(WH_CALLWNDPROCRET, watchDialogs, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
        ASSERT_NE(parent.window, nullptr);
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(hook);
        system_function_restore_all();
    }

    // Runs a dialog around worker; whileShown runs on a thread of its own
    // once the worker has started, and lets the worker go when it returns.
    int runDialog(HeldWorker &worker, const std::function<void(const ShownDialog &)> &whileShown,
                  const progress_ending *ending = nullptr)
    {
        std::thread driver([&] {
            if (WaitForSingleObject(worker.started, 10000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "the worker did not start";
            } else {
                const HWND dialog = watch.dialog;
                whileShown({ dialog, FindWindowExA(dialog, nullptr, "msctls_progress32", nullptr),
                             FindWindowExA(dialog, nullptr, "Static", nullptr) });
            }
            SetEvent(worker.finish);
        });
        const int result = run_with_progress_bar(parent.window, HeldWorker::run, &worker, ending);
        driver.join();
        return result;
    }

    const ParentWindow &parent = ParentWindow::get();
    HHOOK hook = nullptr;
};

// The tests whose dialogs count no ticks, which run beside the others.
class ProgressDialogWindow : public ProgressDialog {
};

TEST_F(ProgressDialogWindow, ShowsItsWindowsCentredAboveTheParentsClientArea)
{
    HeldWorker worker;
    const int result = runDialog(worker, [&](const ShownDialog &shown) {
        EXPECT_TRUE(watch.timerWasRunning);
        EXPECT_EQ(GetWindow(shown.dialog, GW_OWNER), parent.window);
        char title[64] = "";
        GetWindowTextA(shown.dialog, title, sizeof(title));
        EXPECT_STREQ(title, dialogTitle);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(shown.dialog, GWL_STYLE)), 0x96C40000u);
        EXPECT_EQ(GetWindowLongA(shown.dialog, GWL_EXSTYLE) & 0x10100, 0x10100);
        EXPECT_EQ(GetClassLongA(shown.dialog, GCL_STYLE), 0x808u);

        // The centre of the parent's client area, less half the dialog and 35.
        RECT client;
        GetClientRect(parent.window, &client);
        POINT centre = { client.right / 2, client.bottom / 2 };
        ClientToScreen(parent.window, &centre);
        EXPECT_TRUE(placedAt(shown.dialog, windowRect(shown.dialog), centre.x - 143,
                             centre.y - 51 - 35, 287, 102));

        ASSERT_NE(shown.bar, nullptr);
        ASSERT_NE(shown.text, nullptr);
        EXPECT_TRUE(placedAt(shown.bar, placeInParent(shown.bar), 10, 35, 250, 12));
        EXPECT_TRUE(placedAt(shown.text, placeInParent(shown.text), 12, 12, 250, 16));
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(shown.bar, GWL_STYLE)), 0x50000008u);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(shown.text, GWL_STYLE)), 0x50020000u);
        EXPECT_EQ(GetWindowLongA(shown.text, GWL_EXSTYLE) & 0x24, 0x24);
        EXPECT_EQ(shown.textShown(), dialogTitle);

        LOGFONTA font = {};
        const auto handle = reinterpret_cast<HFONT>(SendMessageA(shown.text, WM_GETFONT, 0, 0));
        ASSERT_EQ(GetObjectA(handle, sizeof(font), &font), static_cast<int>(sizeof(font)));
        EXPECT_EQ(font.lfHeight, -11);
        EXPECT_EQ(font.lfWeight, 0);
        EXPECT_STREQ(font.lfFaceName, "MS Shell Dlg 2");
    });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(watch.created, 1);
    EXPECT_FALSE(IsWindow(watch.dialog));
}

TEST_F(ProgressDialogWindow, ReturnsWhatTheWorkerReturnsDialogAfterDialog)
{
    // Workers that return at once, one dialog after the other: the result
    // goes through a posted message and the quit code whole, and a worker
    // done before its dialog has noted it does not count as still running.
    for (int value : { 3, 0, -99, 0x7FFFFFFF, -0x7FFFFFFF - 1 }) {
        int argument = value;
        EXPECT_EQ(run_with_progress_bar(parent.window, returnsAtOnce, &argument, nullptr), value);
        EXPECT_TRUE(IsWindowEnabled(parent.window));
    }
    EXPECT_EQ(watch.created, 5);

    HeldWorker worker;
    runDialog(worker, [](const ShownDialog &) {});
    EXPECT_NE(GetThreadId(worker.thread), GetCurrentThreadId());
}

const std::vector<std::string> texts = {
    "Installation can take some time...",
    "The installation process can take up to 5 minutes...",
    "You may also be asked to reboot for KMDF upgrades.",
    "If so, please watch for additional popup windows.",
    "The reason driver installation may take time...",
    "...is because a System Restore point is created.",
    "Microsoft offers no means of checking progress...",
    "...so we can't say how long it'll take...",
    "Please continue to be patient...",
    "There's a 5 minute timeout eventually...",
    "...so if there's a problem, the process will abort.",
    "I've really seen an installation take 5 minutes...",
    "...on a Vista 64 machine with a very large disk.",
    "So how was your day...",
    "...before it got ruined by this endless installation?",
    "Seriously, what is taking this process so long?!",
    "Aborting in 45 seconds...",
    "Aborting in 30 seconds...",
    "Aborting in 15 seconds...",
};

TEST_F(ProgressDialog, ChangesItsTextEveryFifteenCountedTicks)
{
    HeldWorker worker;
    std::vector<std::pair<int, std::string>> changes;
    const int result = runDialog(worker, [&](const ShownDialog &shown) {
        std::string last = shown.textShown();
        for (int tick = 1; tick <= 300; ++tick) {
            shown.tick();
            const std::string now = shown.textShown();
            if (now != last)
                changes.emplace_back(tick, now);
            last = now;
        }
        // Three hundred ticks are within the limit.
        EXPECT_TRUE(IsWindow(shown.dialog));
    });
    EXPECT_EQ(result, 3);

    std::vector<std::pair<int, std::string>> expected;
    for (size_t i = 0; i < texts.size(); ++i)
        expected.emplace_back(16 + 15 * static_cast<int>(i), texts[i]);
    EXPECT_EQ(changes, expected);
}

// What a window shows, read back from its own surface, top row first.
std::vector<COLORREF> pixelsOf(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC source = GetDC(window);
    const HDC memory = CreateCompatibleDC(source);
    void *bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
    const auto *first = static_cast<const COLORREF *>(bits);
    std::vector<COLORREF> pixels(first, first + client.right * client.bottom);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return pixels;
}

size_t differingPixels(const std::vector<COLORREF> &a, const std::vector<COLORREF> &b)
{
    if (a.size() != b.size())
        return std::max(a.size(), b.size());
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i)
        count += a[i] != b[i];
    return count;
}

TEST_F(ProgressDialog, EachTextIsDrawnOverTheBackgroundNotOverTheLastText)
{
    HeldWorker worker;
    runDialog(worker, [&](const ShownDialog &shown) {
        const std::vector<COLORREF> before = pixelsOf(shown.text);
        shown.tick(16);
        const std::vector<COLORREF> first = pixelsOf(shown.text);
        shown.tick(15);
        const std::vector<COLORREF> second = pixelsOf(shown.text);
        EXPECT_GT(differingPixels(first, before), 0u);
        EXPECT_GT(differingPixels(second, first), 0u);

        // The text drawn afresh on a wholly repainted dialog looks the same:
        // nothing of the first text is left between the letters of the second.
        parent.runOnItsThread([&] {
            RedrawWindow(shown.dialog, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        });
        EXPECT_EQ(differingPixels(pixelsOf(shown.text), second), 0u);
    });
}

TEST_F(ProgressDialog, TheThreeHundredAndFirstTickTerminatesTheWorker)
{
    HeldWorker worker;
    StreamCapture capture;
    const int result = runDialog(worker, [&](const ShownDialog &shown) {
        shown.tick(300);
        EXPECT_TRUE(IsWindow(shown.dialog));
        EXPECT_EQ(WaitForSingleObject(worker.thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        shown.tick();
        EXPECT_FALSE(IsWindow(shown.dialog));
    });
    capture.finish();
    EXPECT_EQ(result, UDI_ERR_TIMED_OUT);
    ASSERT_EQ(WaitForSingleObject(worker.thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    GetExitCodeThread(worker.thread, &exitCode);
    EXPECT_EQ(exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(capture.err(),
              "libudi:error [progress_callback] progress timeout expired - KILLING THREAD!\n");
    EXPECT_TRUE(IsWindowEnabled(parent.window));

    // The terminated worker is known to be gone: the next dialog runs its own.
    int three = 3;
    EXPECT_EQ(run_with_progress_bar(parent.window, returnsAtOnce, &three, nullptr), 3);
}

// What the dialog asked of the worker's function at the time limit.
struct EndingCalls {
    static inline bool stopLetsGo = false;
    static inline std::vector<std::string> calls;
    static inline DWORD stopThread = 0;
    static inline bool workerGoneAtRelease = false;

    static void stop(void *argument)
    {
        calls.push_back("stop");
        stopThread = GetCurrentThreadId();
        if (stopLetsGo)
            SetEvent(static_cast<HeldWorker *>(argument)->finish);
    }
    static void release(void *argument)
    {
        calls.push_back("release");
        workerGoneAtRelease = WaitForSingleObject(static_cast<HeldWorker *>(argument)->thread, 0) == WAIT_OBJECT_0;
    }
};

// At the time limit the worker is asked to stop first; only one that has
// not come back a few seconds later is killed, and only then, once it is
// gone, is what it held let go.
TEST_F(ProgressDialog, TheTimeLimitAsksTheWorkerToStopBeforeItKillsIt)
{
    const std::string stopping = "libudi:error [progress_callback] progress timeout expired - stopping the worker\n";
    const std::string killing = "libudi:error [progress_callback] progress timeout expired - KILLING THREAD!\n";
    struct EndingCase {
        const char *name;
        bool stopLetsGo;
        std::vector<std::string> calls;
        std::string errorOutput;
        bool killed;
    };
    const EndingCase cases[] = {
        { "comes back", true, { "stop" }, stopping, false },
        { "does not come back", false, { "stop", "release" }, stopping + killing, true },
    };
    const progress_ending ending = { EndingCalls::stop, EndingCalls::release };
    for (const EndingCase &c : cases) {
        SCOPED_TRACE(c.name);
        EndingCalls::stopLetsGo = c.stopLetsGo;
        EndingCalls::calls.clear();
        EndingCalls::stopThread = 0;
        EndingCalls::workerGoneAtRelease = false;
        HeldWorker worker;
        StreamCapture capture;
        const int result = runDialog(worker, [&](const ShownDialog &shown) { shown.tick(301); }, &ending);
        capture.finish();

        EXPECT_EQ(result, UDI_ERR_TIMED_OUT);
        EXPECT_EQ(EndingCalls::calls, c.calls);
        EXPECT_EQ(EndingCalls::stopThread, GetCurrentThreadId());
        EXPECT_EQ(EndingCalls::workerGoneAtRelease, c.killed);
        EXPECT_EQ(capture.err(), c.errorOutput);
        EXPECT_TRUE(IsWindowEnabled(parent.window));
        ASSERT_EQ(WaitForSingleObject(worker.thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD exitCode = 0;
        GetExitCodeThread(worker.thread, &exitCode);
        EXPECT_EQ(exitCode == 0xFFFFFFFFu, c.killed);
    }
    // Whichever way the worker went, the next dialog runs its own.
    int three = 3;
    EXPECT_EQ(run_with_progress_bar(parent.window, returnsAtOnce, &three, nullptr), 3);
}

TEST_F(ProgressDialog, ASecurityPromptHoldsTheCount)
{
    HeldWorker worker;
    const int result = runDialog(worker, [&](const ShownDialog &shown) {
        shown.tick(15);
        const HWND prompt = CreateWindowExA(0, "Static", "Windows Security", WS_POPUP, 0, 0, 50,
                                            20, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(prompt, nullptr);
        shown.tick(20);
        EXPECT_EQ(shown.textShown(), dialogTitle);
        DestroyWindow(prompt);
        shown.tick();
        EXPECT_EQ(shown.textShown(), texts[0]);

        // The limit counts only what was counted: 16 ticks so far, however
        // many more come while a prompt is up.
        const HWND again = CreateWindowExA(0, "Static", "Windows Security", WS_POPUP, 0, 0, 50,
                                           20, nullptr, nullptr, nullptr, nullptr);
        shown.tick(400);
        DestroyWindow(again);
        EXPECT_EQ(shown.textShown(), texts[0]);
        shown.tick(284);
        EXPECT_TRUE(IsWindow(shown.dialog));
        EXPECT_EQ(shown.textShown(), texts.back());
        shown.tick();
        EXPECT_FALSE(IsWindow(shown.dialog));
    });
    EXPECT_EQ(result, UDI_ERR_TIMED_OUT);
}

enum class WayOut { WorkerResult, TimeLimit, WorkerRefused };

struct WayOutCase {
    WayOut way;
    int result;
    const char *errorOutput;
};

TEST_F(ProgressDialog, TheParentIsDisabledUntilTheDialogEndsWhicheverWay)
{
    const WayOutCase cases[] = {
        { WayOut::WorkerResult, 3, "" },
        { WayOut::TimeLimit, UDI_ERR_TIMED_OUT,
          "libudi:error [progress_callback] progress timeout expired - KILLING THREAD!\n" },
        // A second start while the worker runs: the dialog refuses a second worker.
        { WayOut::WorkerRefused, UDI_ERR_OUT_OF_RESOURCES,
          "libudi:error [progress_callback] program assertion failed - another operation is in "
          "progress\n" },
    };
    for (const WayOutCase &c : cases) {
        SCOPED_TRACE(c.result);
        ASSERT_TRUE(IsWindowEnabled(parent.window));
        HeldWorker worker;
        StreamCapture capture;
        const int result = runDialog(worker, [&](const ShownDialog &shown) {
            EXPECT_FALSE(IsWindowEnabled(parent.window));
            if (c.way == WayOut::TimeLimit)
                shown.tick(301);
            else if (c.way == WayOut::WorkerRefused)
                SendMessageA(shown.dialog, WM_PROGRESS_START, 0, 0);
            else
                SetEvent(worker.finish);
        });
        capture.finish();
        EXPECT_EQ(result, c.result);
        EXPECT_TRUE(IsWindowEnabled(parent.window));
        EXPECT_EQ(capture.err(), c.errorOutput);
        // The refused start left the first worker running until now.
        if (worker.thread != nullptr)
            WaitForSingleObject(worker.thread, 5000);
    }
}

// The quits that reach the caller's loop once the dialog has gone: its
// thread's messages until the worker has ended and a while after.
std::vector<int> quitsReachingTheCaller(HANDLE worker)
{
    std::vector<int> quits;
    ULONGLONG quietUntil = 0;
    for (ULONGLONG giveUp = GetTickCount64() + 15000; GetTickCount64() < giveUp;) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                quits.push_back(static_cast<int>(message.wParam));
            else
                DispatchMessageA(&message);
            continue;
        }
        if (quietUntil == 0 && WaitForSingleObject(worker, 0) == WAIT_OBJECT_0)
            quietUntil = GetTickCount64() + 300;
        if (quietUntil != 0 && GetTickCount64() > quietUntil)
            break;
        Sleep(5);
    }
    return quits;
}

// A quit that the caller's program posts while the dialog is up is the
// caller's: the dialog runs on to its worker's result, and the quit reaches
// the caller's loop afterwards, once, with its code.
TEST_F(ProgressDialog, ACallersQuitWaitsForTheWorkerAndIsPostedAgain)
{
    struct QuitCase {
        const char *name;
        bool posted;
        int code;
    };
    const QuitCase cases[] = {
        { "no quit", false, 0 },
        { "quit with 0", true, 0 },
        { "quit with 42", true, 42 },
    };
    for (const QuitCase &c : cases) {
        SCOPED_TRACE(c.name);
        HeldWorker worker;
        bool upAfterTheQuit = false;
        bool parentDisabledMeanwhile = false;
        const int result = runDialog(worker, [&](const ShownDialog &shown) {
            if (c.posted) {
                parent.runOnItsThread([&] { PostQuitMessage(c.code); });
                // The dialog's thread has taken the quit from its queue once
                // it answers again; a loop ended by the quit answers no more.
                DWORD_PTR ignored = 0;
                SendMessageTimeoutA(parent.window, WM_NULL, 0, 0, SMTO_BLOCK, 3000, &ignored);
            }
            upAfterTheQuit = IsWindow(shown.dialog) && IsWindowVisible(shown.dialog);
            parentDisabledMeanwhile = !IsWindowEnabled(parent.window);
        });
        EXPECT_EQ(result, 3);
        EXPECT_TRUE(upAfterTheQuit);
        EXPECT_TRUE(parentDisabledMeanwhile);
        EXPECT_FALSE(IsWindow(watch.dialog));
        EXPECT_TRUE(IsWindowEnabled(parent.window));
        EXPECT_EQ(quitsReachingTheCaller(worker.thread), c.posted ? std::vector<int>{ c.code } : std::vector<int>{});
    }
}

TEST_F(ProgressDialog, ASecondDialogIsRefusedFromAnyThreadWhileOneIsUp)
{
    HeldWorker worker;
    std::atomic<int> secondCalls{0};
    int fromDialogThread = 0;
    int fromOtherThread = 0;
    StreamCapture capture;
    const int result = runDialog(worker, [&](const ShownDialog &shown) {
        // The dialog's own thread, inside its message loop, where a mutex
        // already owned by that thread would be taken again.
        parent.runOnItsThread([&] {
            fromDialogThread = run_with_progress_bar(parent.window, neverCalled, &secondCalls, nullptr);
        });
        fromOtherThread = run_with_progress_bar(parent.window, neverCalled, &secondCalls, nullptr);

        // The first dialog goes on untouched.
        EXPECT_TRUE(IsWindow(shown.dialog));
        EXPECT_FALSE(IsWindowEnabled(parent.window));
        shown.tick(16);
        EXPECT_EQ(shown.textShown(), texts[0]);
    });
    capture.finish();
    EXPECT_EQ(fromDialogThread, UDI_ERR_IN_USE);
    EXPECT_EQ(fromOtherThread, UDI_ERR_IN_USE);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(watch.created, 1);
    const std::string refusal = "libudi:error [run_with_progress_bar] could not obtain progress "
                                "dialog mutex - is another dialog active?\n";
    EXPECT_EQ(capture.err(), refusal + refusal);

    // Once it has ended, the next dialog is welcome.
    int three = 3;
    EXPECT_EQ(run_with_progress_bar(parent.window, returnsAtOnce, &three, nullptr), 3);
}

TEST_F(ProgressDialogWindow, WithoutParentOrFunctionNothingShows)
{
    std::atomic<int> calls{0};
    StreamCapture capture;
    EXPECT_EQ(run_with_progress_bar(nullptr, neverCalled, &calls, nullptr), UDI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(run_with_progress_bar(parent.window, nullptr, &calls, nullptr), UDI_ERR_BAD_ARGUMENT);
    capture.finish();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(watch.created, 0);
    EXPECT_TRUE(IsWindowEnabled(parent.window));
    EXPECT_EQ(capture.err(), "");
}

TEST_F(ProgressDialogWindow, AParentThatIsGoneMakesNoDialog)
{
    const HWND gone = CreateWindowExA(0, "Static", "gone", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);

    std::atomic<int> calls{0};
    StreamCapture capture;
    EXPECT_EQ(run_with_progress_bar(gone, neverCalled, &calls, nullptr), UDI_ERR_OUT_OF_RESOURCES);
    capture.finish();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(watch.created, 0);
    EXPECT_EQ(capture.err().rfind("libudi:error [run_with_progress_bar] Unable to create progress "
                                  "dialog: [#00000578] ",
                                  0),
              0u)
        << capture.err();

    // Nothing of the failed attempt is left held.
    int three = 3;
    EXPECT_EQ(run_with_progress_bar(parent.window, returnsAtOnce, &three, nullptr), 3);
}

TEST_F(ProgressDialogWindow, AParentMadeWithoutAnInstanceOwnsOneDialogAfterAnother)
{
    // Hidden: a shown window that goes costs Wine seconds.
    const HWND bare = CreateWindowExA(0, "Static", "bare", WS_POPUP, 300, 200, 400, 300, nullptr,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(bare, nullptr);
    ASSERT_EQ(GetWindowLongPtrA(bare, GWLP_HINSTANCE), 0);
    for (int value : { 3, 4 }) {
        int argument = value;
        EXPECT_EQ(run_with_progress_bar(bare, returnsAtOnce, &argument, nullptr), value);
    }
    EXPECT_EQ(watch.created, 2);
    DestroyWindow(bare);
}

TEST_F(ProgressDialogWindow, TheUserCanNeitherCloseNorMoveNorResizeIt)
{
    HeldWorker worker;
    const int result = runDialog(worker, [&](const ShownDialog &shown) {
        const RECT before = windowRect(shown.dialog);

        // Alt+F4 as the keyboard sends it, then the close command and request it becomes.
        SendMessageA(shown.dialog, WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(KF_ALTDOWN) << 16);
        SendMessageA(shown.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageA(shown.dialog, WM_CLOSE, 0, 0);
        for (int i = 0; i < 200 && watch.closeRequests < 3; ++i)
            Sleep(10);
        EXPECT_EQ(watch.closeRequests, 3);
        EXPECT_TRUE(IsWindow(shown.dialog));
        EXPECT_TRUE(IsWindowVisible(shown.dialog));

        // Where a press would start a drag or a resize, the dialog answers
        // nowhere or client area.
        const RECT r = before;
        const int midX = (r.left + r.right) / 2;
        const int midY = (r.top + r.bottom) / 2;
        struct Place {
            const char *name;
            POINT point;
            LRESULT answer;
        };
        const Place places[] = {
            { "caption", { midX, r.top + GetSystemMetrics(SM_CYFRAME) + 4 }, HTNOWHERE },
            { "client area", { midX, midY + 10 }, HTNOWHERE },
            { "left border", { r.left + 1, midY }, HTCLIENT },
            { "right border", { r.right - 2, midY }, HTCLIENT },
            { "top border", { midX, r.top + 1 }, HTCLIENT },
            { "bottom border", { midX, r.bottom - 2 }, HTCLIENT },
            { "top left corner", { r.left + 1, r.top + 1 }, HTCLIENT },
            { "bottom right corner", { r.right - 2, r.bottom - 2 }, HTCLIENT },
            { "outside", { r.right + 50, r.bottom + 50 }, HTNOWHERE },
        };
        for (const Place &place : places) {
            EXPECT_EQ(SendMessageA(shown.dialog, WM_NCHITTEST, 0,
                                   MAKELPARAM(place.point.x, place.point.y)),
                      place.answer)
                << place.name;
        }
        const RECT after = windowRect(shown.dialog);
        EXPECT_TRUE(EqualRect(&before, &after));
    });
    EXPECT_EQ(result, 3);
}

TEST_F(ProgressDialogWindow, ItsFontGoesWithIt)
{
    HeldWorker worker;
    HGDIOBJ font = nullptr;
    runDialog(worker, [&](const ShownDialog &shown) {
        font = reinterpret_cast<HGDIOBJ>(SendMessageA(shown.text, WM_GETFONT, 0, 0));
    });
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetObjectType(font), 0u) << "the dialog's font is still there";
}

struct GdiCase {
    const char *hidden;      // the Gdi32 function that is missing, or none
    bool font;               // the text has the dialog's font
    bool transparentText;    // the text is drawn on a hollow brush, transparently
};

TEST_F(ProgressDialogWindow, GoesOnWithoutEachGdiFunction)
{
    const GdiCase cases[] = {
        { nullptr, true, true },
        { "CreateFontA", false, true },
        { "GetStockObject", true, false },
        { "SetBkMode", true, false },
        // A font that could not be deleted again is not made.
        { "DeleteObject", false, true },
    };
    for (const GdiCase &c : cases) {
        SCOPED_TRACE(c.hidden != nullptr ? c.hidden : "none");
        system_function_restore_all();
        if (c.hidden != nullptr)
            system_function_hide("Gdi32", c.hidden);

        HeldWorker worker;
        StreamCapture capture;
        const int result = runDialog(worker, [&](const ShownDialog &shown) {
            EXPECT_EQ(SendMessageA(shown.text, WM_GETFONT, 0, 0) != 0, c.font);

            const HDC dc = CreateCompatibleDC(nullptr);
            SetBkMode(dc, OPAQUE);
            const LRESULT brush = SendMessageA(shown.dialog, WM_CTLCOLORSTATIC,
                                               reinterpret_cast<WPARAM>(dc),
                                               reinterpret_cast<LPARAM>(shown.text));
            EXPECT_EQ(brush, c.transparentText
                                 ? reinterpret_cast<LRESULT>(GetStockObject(HOLLOW_BRUSH))
                                 : 0);
            EXPECT_EQ(GetBkMode(dc), c.transparentText ? TRANSPARENT : OPAQUE);
            DeleteDC(dc);
        });
        capture.finish();
        EXPECT_EQ(result, 3);
        const std::string missing =
            c.hidden == nullptr ? ""
                                : "libudi:error [run_with_progress_bar] Unable to locate "
                                      + std::string(c.hidden) + "() in Gdi32\n\n";
        EXPECT_EQ(capture.err(), missing);
    }
}

HWND makeWindow(const char *title, DWORD style, HWND parent = nullptr)
{
    return CreateWindowExA(0, "Static", title, style, 0, 0, 40, 20, parent, nullptr, nullptr,
                           nullptr);
}

TEST(FindSecurityPrompt, FindsAWindowOfThatTitleWithAFrameOrPopupStyle)
{
    EXPECT_EQ(find_security_prompt(), nullptr);

    const HWND host = makeWindow("host", WS_POPUP);
    struct Case {
        const char *name;
        const char *title;
        DWORD style;
        bool child;
        bool found;
    };
    const Case cases[] = {
        { "popup", "Windows Security", WS_POPUP, false, true },
        { "bordered child", "Windows Security", WS_CHILD | WS_BORDER, true, true },
        { "child with a system menu", "Windows Security", WS_CHILD | WS_SYSMENU, true, true },
        { "plain child", "Windows Security", WS_CHILD, true, false },
        { "other case", "windows security", WS_POPUP, false, false },
        { "longer title", "Windows Security Center", WS_POPUP, false, false },
        { "shorter title", "Windows", WS_POPUP, false, false },
    };
    for (const Case &c : cases) {
        const HWND window = makeWindow(c.title, c.style, c.child ? host : nullptr);
        ASSERT_NE(window, nullptr) << c.name;
        EXPECT_EQ(find_security_prompt(), c.found ? window : nullptr) << c.name;
        DestroyWindow(window);
    }
    DestroyWindow(host);
}

}  // namespace
