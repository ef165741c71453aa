/*
 * The progress dialog: a modal window on the caller's thread while a worker
 * thread runs the function, the result travelling back as a posted message.
 * The dialog can be neither closed nor moved by the user; only the worker's
 * result or the time limit ends it.
 */
#include "progress_dialog.h"

#include <process.h>
#include <string.h>
#include <windows.h>
#include <commctrl.h>

#include "internal.h"

#define FUNCTION_NAME        "run_with_progress_bar"
#define CALLBACK_NAME        "progress_callback"
#define CHILDREN_NAME        "init_children"

#define CLASS_NAME           "udi_progress_class"
#define DIALOG_TITLE         "Installing Driver..."
#define SECURITY_PROMPT      "Windows Security"
#define FONT_FACE            "MS Shell Dlg 2"

#define DIALOG_CLASS_STYLE   (CS_DBLCLKS | CS_SAVEBITS)
#define DIALOG_STYLE         (WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN \
                              | WS_CAPTION | WS_THICKFRAME)
#define DIALOG_EX_STYLE      (WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE)
#define BAR_STYLE            (WS_CHILD | WS_VISIBLE | PBS_MARQUEE)
#define TEXT_STYLE           (WS_CHILD | WS_VISIBLE | WS_GROUP)
#define TEXT_EX_STYLE        (WS_EX_TRANSPARENT | WS_EX_NOPARENTNOTIFY)
#define PROMPT_STYLES        ((DWORD)(WS_POPUP | WS_BORDER | WS_SYSMENU))

#define DIALOG_X             100
#define DIALOG_Y             100
#define DIALOG_WIDTH         287
#define DIALOG_HEIGHT        102
/* The dialog sits this much above the centre of its parent. */
#define DIALOG_RAISE         35
#define FONT_HEIGHT          (-11)

#define TIMER_ID             1
#define TIMER_PERIOD_MS      1000
#define TICKS_PER_TEXT       15
#define TIME_LIMIT_TICKS     300
/* A terminated thread is gone at once; this only bounds the wait for it. */
#define WORKER_END_WAIT_MS   5000
/* How long a worker that was asked to stop has to come back by itself. */
#define WORKER_STOP_WAIT_MS  5000

#define TEXT_COUNT           (sizeof(progress_texts) / sizeof(progress_texts[0]))

typedef HFONT (WINAPI *create_font_function)(int, int, int, int, int, DWORD, DWORD, DWORD,
                                             DWORD, DWORD, DWORD, DWORD, DWORD, LPCSTR);
typedef HGDIOBJ (WINAPI *get_stock_object_function)(int);
typedef int (WINAPI *set_bk_mode_function)(HDC, int);
typedef BOOL (WINAPI *delete_object_function)(HGDIOBJ);

/* Bound at run time; each may be missing, and what needs it is then left out. */
typedef struct gdi_functions {
    create_font_function create_font;
    get_stock_object_function get_stock_object;
    set_bk_mode_function set_bk_mode;
    delete_object_function delete_object;
} gdi_functions;

static const char *const progress_texts[] = {
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

/* One dialog per process: what its window procedure and its worker share. */
typedef struct progress_dialog {
    HANDLE volatile worker;   /* the running worker; emptied by the worker itself */
    HANDLE worker_thread;     /* the same thread, ours to terminate and close */
    HWND bar;
    HWND text;
    HFONT font;               /* the text's, made by the dialog and deleted after it */
    HWND parent;
    int ended;                /* the dialog has ended, with result */
    int result;
    int tick_count;
    int text_index;
    progress_function function;
    void *argument;
    progress_ending ending;   /* how to end a worker at the time limit */
    int stopping;             /* the dialog waits for a stopped worker */
    int killed;               /* a worker was terminated during this dialog */
    HINSTANCE instance;
    gdi_functions gdi;
} progress_dialog;

static progress_dialog progress;

/*
 * The dialog lock. A flag rather than a named mutex: a mutex is owned by a
 * thread and taken again by the same thread without complaint, and the
 * dialog's own message loop can run code that asks for a second dialog on
 * that very thread.
 */
static volatile LONG dialog_active;

static BOOL CALLBACK match_security_prompt(HWND window, LPARAM found)
{
    char title[256];

    if (((DWORD)GetWindowLongA(window, GWL_STYLE) & PROMPT_STYLES) == 0)
        return TRUE;
    title[0] = '\0';
    GetWindowTextA(window, title, (int)sizeof(title));
    title[sizeof(title) - 1] = '\0';
    if (strcmp(title, SECURITY_PROMPT) == 0)
        *(HWND *)found = window;
    return TRUE;
}

HWND find_security_prompt(void)
{
    HWND found = NULL;

    EnumChildWindows(GetDesktopWindow(), match_security_prompt, (LPARAM)&found);
    return found;
}

/* Posts to the dialog it was started for: a result that comes after that
   dialog has gone cannot end a later one. */
static unsigned __stdcall progress_thread(void *dialog)
{
    int result = progress.function(progress.argument);

    InterlockedExchangePointer((PVOID volatile *)&progress.worker, NULL);
    PostMessageA((HWND)dialog, WM_PROGRESS_DONE, (WPARAM)(INT_PTR)result, 0);
    return 0;
}

static void init_children(HWND dialog)
{
    INITCOMMONCONTROLSEX controls = { sizeof(controls), ICC_PROGRESS_CLASS };
    HFONT font;

    InitCommonControlsEx(&controls);
    progress.bar = CreateWindowExA(WS_EX_NOPARENTNOTIFY, PROGRESS_CLASSA, NULL, BAR_STYLE,
                                   10, 35, 250, 12, dialog, NULL, progress.instance, NULL);
    if (progress.bar == NULL)
        log_message(LOG_ERROR, CHILDREN_NAME, "Unable to create progress bar: %s",
                    windows_error_text(0));
    else
        PostMessageA(progress.bar, PBM_SETMARQUEE, TRUE, 0);

    progress.text = CreateWindowExA(TEXT_EX_STYLE, "Static", DIALOG_TITLE, TEXT_STYLE,
                                    12, 12, 250, 16, dialog, NULL, progress.instance, NULL);
    if (progress.text == NULL)
        log_message(LOG_ERROR, CHILDREN_NAME, "Unable to create progress text: %s",
                    windows_error_text(0));

    /* A font is made only where it can be deleted again. */
    if (progress.gdi.create_font != NULL && progress.gdi.delete_object != NULL) {
        font = progress.gdi.create_font(FONT_HEIGHT, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FONT_FACE);
        progress.font = font;
        SendMessageA(progress.text, WM_SETFONT, (WPARAM)font, TRUE);
    }
}

static void center_dialog(HWND dialog)
{
    HWND parent = GetParent(dialog);
    RECT client, frame;
    POINT centre;
    int width, height;

    if (parent == NULL)
        return;
    GetClientRect(parent, &client);
    centre.x = (client.left + client.right) / 2;
    centre.y = (client.top + client.bottom) / 2;
    ClientToScreen(parent, &centre);
    GetWindowRect(dialog, &frame);
    width = frame.right - frame.left;
    height = frame.bottom - frame.top;
    MoveWindow(dialog, centre.x - width / 2, centre.y - height / 2 - DIALOG_RAISE, width, height,
               FALSE);
}

/* The dialog's loop sees that it has ended; no quit is posted, since the
   thread's quit belongs to whoever runs the thread's own loop. */
static void end_dialog(HWND dialog, int code)
{
    /* Before the dialog goes, so that activation returns to the parent. */
    EnableWindow(progress.parent, TRUE);
    progress.result = code;
    progress.ended = 1;
    DestroyWindow(dialog);
    /* Ended inside a message sent from another thread: the loop waits in
       GetMessage for a posted one, and is woken to see the end. */
    if (InSendMessage())
        PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

static void start_worker(HWND dialog)
{
    HANDLE thread;

    if (progress.worker != NULL) {
        log_message(LOG_ERROR, CALLBACK_NAME,
                    "program assertion failed - another operation is in progress");
        end_dialog(dialog, UDI_ERR_OUT_OF_RESOURCES);
        return;
    }
    /* Suspended until it is in the slot: a worker that returns at once
       empties the slot before the slot would otherwise have been filled. */
    thread = (HANDLE)_beginthreadex(NULL, 0, progress_thread, dialog, CREATE_SUSPENDED, NULL);
    if (thread == NULL) {
        log_message(LOG_ERROR, CALLBACK_NAME, "unable to create progress_thread");
        end_dialog(dialog, UDI_ERR_OUT_OF_RESOURCES);
        return;
    }
    if (progress.worker_thread != NULL)
        CloseHandle(progress.worker_thread);
    progress.worker_thread = thread;
    progress.worker = thread;
    ResumeThread(thread);
}

/*
 * Waits for the worker's end, answering meanwhile what other threads send to
 * this one: a worker that ends may ask this thread's windows for their
 * titles, and waits for the answer.
 */
static int worker_ends_within(DWORD milliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    ULONGLONG now;
    MSG message;
    DWORD woken;

    for (now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        woken = MsgWaitForMultipleObjectsEx(1, &progress.worker_thread, (DWORD)(deadline - now),
                                            QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            return 1;
        if (woken != WAIT_OBJECT_0 + 1)
            break;
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return WaitForSingleObject(progress.worker_thread, 0) == WAIT_OBJECT_0;
}

/* Whether the thread is gone: only then is what it held free to be let go. */
static int terminate_worker(void)
{
    progress.killed = 1;
    TerminateThread(progress.worker_thread, (DWORD)-1);
    if (WaitForSingleObject(progress.worker_thread, WORKER_END_WAIT_MS) != WAIT_OBJECT_0)
        return 0;
    progress.worker = NULL;
    return 1;
}

/*
 * A thread killed in the middle of its work leaves held whatever it held,
 * locks of the process among them: the worker is first asked to stop, and
 * killed only when it has not come back within a few seconds.
 */
static void end_at_time_limit(HWND dialog)
{
    if (progress.ending.stop != NULL) {
        log_message(LOG_ERROR, CALLBACK_NAME, "progress timeout expired - stopping the worker");
        progress.stopping = 1;
        progress.ending.stop(progress.argument);
        if (worker_ends_within(WORKER_STOP_WAIT_MS)) {
            progress.stopping = 0;
            end_dialog(dialog, UDI_ERR_TIMED_OUT);
            return;
        }
    }
    log_message(LOG_ERROR, CALLBACK_NAME, "progress timeout expired - KILLING THREAD!");
    if (terminate_worker() && progress.ending.release != NULL)
        progress.ending.release(progress.argument);
    progress.stopping = 0;
    end_dialog(dialog, UDI_ERR_TIMED_OUT);
}

static void progress_tick(HWND dialog)
{
    /* Ticks that come while a stopped worker is awaited count for nothing. */
    if (progress.stopping)
        return;
    if (find_security_prompt() != NULL)
        return;
    progress.tick_count++;
    if (progress.text_index < (int)TEXT_COUNT
        && progress.tick_count > TICKS_PER_TEXT * (progress.text_index + 1)) {
        SetWindowTextA(progress.text, progress_texts[progress.text_index]);
        /* The text is drawn transparently: the old one has to be painted
           over by the dialog's background before the new one shows. */
        ShowWindow(progress.text, SW_HIDE);
        UpdateWindow(dialog);
        ShowWindow(progress.text, SW_SHOW);
        UpdateWindow(dialog);
        progress.text_index++;
    } else if (progress.tick_count > TIME_LIMIT_TICKS && progress.worker != NULL) {
        end_at_time_limit(dialog);
    }
}

static LRESULT CALLBACK progress_callback(HWND dialog, UINT message, WPARAM w_param,
                                          LPARAM l_param)
{
    switch (message) {
    case WM_CREATE:
        progress.tick_count = 0;
        progress.text_index = 0;
        EnableWindow(progress.parent, FALSE);
        init_children(dialog);
        center_dialog(dialog);
        SetTimer(dialog, TIMER_ID, TIMER_PERIOD_MS, NULL);
        PostMessageA(dialog, WM_PROGRESS_START, 0, 0);
        return 1;

    case WM_PROGRESS_START:
        start_worker(dialog);
        return 0;

    case WM_PROGRESS_DONE:
        end_dialog(dialog, (int)(INT_PTR)w_param);
        return 0;

    case WM_TIMER:
        if (w_param == TIMER_ID)
            progress_tick(dialog);
        return 0;

    case WM_CLOSE:
        return 1;

    case WM_NCHITTEST:
        /* Borders answer as client area and everything else as nowhere:
           neither sizing nor moving can start. */
        switch (DefWindowProcA(dialog, message, w_param, l_param)) {
        case HTLEFT:
        case HTRIGHT:
        case HTTOP:
        case HTBOTTOM:
        case HTGROWBOX:
        case HTTOPLEFT:
        case HTTOPRIGHT:
        case HTBOTTOMLEFT:
        case HTBOTTOMRIGHT:
            return HTCLIENT;
        default:
            return HTNOWHERE;
        }

    case WM_CTLCOLORSTATIC:
        if (progress.gdi.set_bk_mode == NULL || progress.gdi.get_stock_object == NULL)
            return 0;
        progress.gdi.set_bk_mode((HDC)w_param, TRANSPARENT);
        return (LRESULT)progress.gdi.get_stock_object(HOLLOW_BRUSH);

    default:
        return DefWindowProcA(dialog, message, w_param, l_param);
    }
}

static int register_dialog_class(HINSTANCE instance)
{
    WNDCLASSEXA window_class;

    memset(&window_class, 0, sizeof(window_class));
    window_class.cbSize = sizeof(window_class);
    if (GetClassInfoExA(instance, CLASS_NAME, &window_class))
        return 1;

    memset(&window_class, 0, sizeof(window_class));
    window_class.cbSize = sizeof(window_class);
    window_class.style = DIALOG_CLASS_STYLE;
    window_class.lpfnWndProc = progress_callback;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
    window_class.hIconSm = window_class.hIcon;
    window_class.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = CLASS_NAME;
    return RegisterClassExA(&window_class) != 0;
}

int run_with_progress_bar(HWND parent, progress_function function, void *argument,
                          const progress_ending *ending)
{
    system_module gdi32;
    gdi_functions gdi;
    HINSTANCE instance;
    HWND dialog;
    MSG message;
    BOOL got;
    int result;
    int quit_taken = 0;
    WPARAM quit_code = 0;

    system_module_open(&gdi32, "Gdi32");
    if (function == NULL || parent == NULL) {
        system_module_close(&gdi32);
        return UDI_ERR_BAD_ARGUMENT;
    }
    gdi.create_font = (create_font_function)system_module_function(&gdi32, "CreateFontA",
                                                                   FUNCTION_NAME);
    gdi.get_stock_object = (get_stock_object_function)system_module_function(&gdi32,
                                                                             "GetStockObject",
                                                                             FUNCTION_NAME);
    gdi.set_bk_mode = (set_bk_mode_function)system_module_function(&gdi32, "SetBkMode",
                                                                   FUNCTION_NAME);
    gdi.delete_object = (delete_object_function)system_module_function(&gdi32, "DeleteObject",
                                                                       FUNCTION_NAME);
    instance = (HINSTANCE)GetWindowLongPtrW(parent, GWLP_HINSTANCE);
    /* A window made without an instance tells none. The system registers a
       class without one for the program itself, where a lookup without one
       would not find it again: every later dialog would fail to register. */
    if (instance == NULL)
        instance = GetModuleHandleA(NULL);

    if (InterlockedCompareExchange(&dialog_active, 1, 0) != 0) {
        log_message(LOG_ERROR, FUNCTION_NAME,
                    "could not obtain progress dialog mutex - is another dialog active?");
        system_module_close(&gdi32);
        return UDI_ERR_IN_USE;
    }

    progress.function = function;
    progress.argument = argument;
    memset(&progress.ending, 0, sizeof(progress.ending));
    if (ending != NULL)
        progress.ending = *ending;
    progress.stopping = 0;
    progress.killed = 0;
    progress.parent = parent;
    progress.instance = instance;
    progress.gdi = gdi;
    progress.font = NULL;
    progress.ended = 0;
    progress.result = UDI_ERR_OUT_OF_RESOURCES;

    if (!register_dialog_class(instance)) {
        log_message(LOG_ERROR, FUNCTION_NAME, "can't register class %s", windows_error_text(0));
        result = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    dialog = CreateWindowExA(DIALOG_EX_STYLE, CLASS_NAME, DIALOG_TITLE, DIALOG_STYLE,
                             DIALOG_X, DIALOG_Y, DIALOG_WIDTH, DIALOG_HEIGHT, parent, NULL,
                             instance, NULL);
    if (dialog == NULL) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Unable to create progress dialog: %s",
                    windows_error_text(0));
        result = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);

    /* Until the dialog has ended, whatever else the thread is told: a quit
       posted meanwhile is the caller's, for the caller's own loop. */
    while (!progress.ended) {
        got = GetMessageA(&message, NULL, 0, 0);
        if (got == 0) {
            quit_taken = 1;
            quit_code = message.wParam;
            continue;
        }
        if (got == -1) {
            log_message(LOG_ERROR, FUNCTION_NAME, "GetMessage error");
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    result = progress.result;

out:
    if (progress.worker_thread != NULL) {
        CloseHandle(progress.worker_thread);
        progress.worker_thread = NULL;
    }
    progress.bar = NULL;
    progress.text = NULL;
    /* The text that used it has gone with the dialog. */
    if (progress.font != NULL) {
        gdi.delete_object(progress.font);
        progress.font = NULL;
    }
    memset(&progress.gdi, 0, sizeof(progress.gdi));
    /* Freeing a module takes the loader's lock, which a killed worker may
       have held: the module then stays loaded. */
    if (!progress.killed)
        system_module_close(&gdi32);
    InterlockedExchange(&dialog_active, 0);
    if (quit_taken)
        PostQuitMessage((int)quit_code);
    return result;
}
