/*
 * The installation of a prepared driver package. The library installs
 * nothing itself: it starts the package's installer program, elevated when
 * the user is an administrator, and serves it over a named pipe: it answers
 * the installer's questions for the device's ids and the user's SID, logs
 * what the installer reports, follows its requests to stretch the read
 * timeout, and takes its status and exit code as the result.
 *
 * Whatever connects to the pipe is only trusted to send bytes: every wait of
 * the conversation ends when the installer process ends, and none of them
 * lasts for ever unless the installer that runs now asked for it.
 */
#include "internal.h"

#include <sddl.h>
#include <stdlib.h>
#include <string.h>

#include "progress_dialog.h"

#define FUNCTION_NAME         "install_driver_internal"
#define PIPE_NAME             "\\\\.\\pipe\\libudi-installer"
#define INSTALLER_BITS        "64"
#define FILTER_SUBFOLDER      "amd64"

#define PIPE_BUFFER_SIZE      4096
#define READ_BUFFER_SIZE      512
/* Far beyond any text the installer sends; a longer message is not one of its. */
#define MAX_MESSAGE_SIZE      65536
#define FINITE_TIMEOUT_MS     10000
/* How often an installer that has not connected yet is looked at. */
#define LISTEN_RETRY_MS       100
/* The pause after a failed read, so that a pipe that keeps failing does not
   keep a core busy. */
#define READ_ERROR_PAUSE_MS   100
/* A reply fits the pipe's buffer; this only bounds a reader that stopped. */
#define REPLY_WRITE_WAIT_MS   FINITE_TIMEOUT_MS

typedef DWORD (WINAPI *wait_no_pending_install_events_fn)(DWORD milliseconds);
typedef BOOL (WINAPI *is_user_an_admin_fn)(void);

uint32_t installer_read_timeout_ms = FINITE_TIMEOUT_MS;
const udi_device_node *current_device = NULL;
int filter_mode = 0;
HANDLE installer_pipe = INVALID_HANDLE_VALUE;

/* One installer process and the library's side of its pipe. */
typedef struct conversation {
    HANDLE event;            /* completion of the one read at a time */
    HANDLE process;          /* NULL when the start gave none back */
    OVERLAPPED overlapped;
    int read_pending;        /* the buffer belongs to the system until it ends */
    unsigned char *buffer;
    DWORD size;
    int connected;           /* an installer connected to the pipe */
    int finished;            /* the installer said it has finished */
    int ended;               /* the installer process was seen to have ended */
} conversation;

/*
 * What one installation holds. Behind the progress dialog it lives with the
 * caller, not on the installing thread's stack: the dialog's thread may have
 * to end the installation at its time limit, and to let go of what it held
 * should the installing thread have been killed all the same.
 */
typedef struct installation {
    operation_frame frame;
    conversation talk;
    HANDLE thread;                /* the installer's first thread, when started plainly */
    HANDLE client_end;            /* the pipe's client end, in filter mode */
    /* A handle of the installer for whoever ends the installation from
       outside; whoever takes it closes it. */
    HANDLE volatile stop_handle;
    volatile LONG stop_requested;
} installation;

/* What a step of the read loop makes of the conversation. */
enum {
    GO_ON = 1,               /* read again */
    INSTALLER_ENDED = 2      /* take the result from the installer's exit code */
};

/* Replies and the console output of the filter installer. */

static void write_reply(const void *bytes, DWORD length)
{
    OVERLAPPED overlapped;
    DWORD written = 0;

    memset(&overlapped, 0, sizeof(overlapped));
    overlapped.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (overlapped.hEvent == NULL)
        return;
    /* Nobody is told of a failed reply: the installer sees it missing. */
    if (!WriteFile(installer_pipe, bytes, length, NULL, &overlapped)
        && GetLastError() == ERROR_IO_PENDING
        && WaitForSingleObject(overlapped.hEvent, REPLY_WRITE_WAIT_MS) != WAIT_OBJECT_0) {
        CancelIo(installer_pipe);
    }
    GetOverlappedResult(installer_pipe, &overlapped, &written, TRUE);
    CloseHandle(overlapped.hEvent);
}

/* The text as it is, or one zero byte, which stands for "none". */
static void reply_text(const char *text, const char *what)
{
    static const char none = '\0';

    if (text == NULL || text[0] == '\0') {
        log_message(LOG_DEBUG, "process_message", "No %s - sending empty string", what);
        write_reply(&none, 1);
        return;
    }
    write_reply(text, (DWORD)strlen(text));
}

static void reply_user_sid(void)
{
    static const char none = '\0';
    PSID sid = GetSid();
    char *text = NULL;

    if (sid != NULL && ConvertSidToStringSidA(sid, &text) && text != NULL) {
        write_reply(text, (DWORD)strlen(text));
    } else {
        log_message(LOG_WARNING, "process_message", "No user_sid - sending empty string");
        write_reply(&none, 1);
    }
    if (text != NULL)
        LocalFree(text);
    if (sid != NULL)
        LocalFree(sid);
}

static void log_relayed_text(const installer_message *message)
{
    char *text = malloc(message->text_length + 1);

    if (text == NULL)
        return;
    log_message(message->level, message->log_name, "%s",
                clean_relayed_text(text, message->text, message->text_length));
    free(text);
}

int process_message(const unsigned char *buffer, size_t length)
{
    installer_message message;

    decode_installer_message(buffer, length, filter_mode, &message);
    switch (message.action) {
    case INSTALLER_ACTION_LOG:
        log_relayed_text(&message);
        break;
    case INSTALLER_ACTION_REPLY_DEVICE_ID:
        log_message(LOG_DEBUG, "process_message", "Got request for device_id");
        reply_text(current_device != NULL ? current_device->device_id : NULL, "device_id");
        break;
    case INSTALLER_ACTION_REPLY_HARDWARE_ID:
        log_message(LOG_DEBUG, "process_message", "Got request for hardware_id");
        reply_text(current_device != NULL ? current_device->hardware_id : NULL, "hardware_id");
        break;
    case INSTALLER_ACTION_REPLY_USER_SID:
        reply_user_sid();
        break;
    case INSTALLER_ACTION_TIMEOUT_INFINITE:
        log_message(LOG_DEBUG, "process_message", "Switching timeout to infinite");
        installer_read_timeout_ms = INFINITE;
        break;
    case INSTALLER_ACTION_TIMEOUT_FINITE:
        log_message(LOG_DEBUG, "process_message", "Switching timeout back to finite");
        installer_read_timeout_ms = FINITE_TIMEOUT_MS;
        break;
    case INSTALLER_ACTION_FINISHED:
        log_message(LOG_DEBUG, "process_message", "Installer process completed");
        break;
    case INSTALLER_ACTION_STATUS:
        break;
    case INSTALLER_ACTION_REFUSE:
        log_message(LOG_ERROR, "process_message", "%s", message.error);
        break;
    }
    return message.result;
}

/* The read loop. */

/* Waits for the read in flight to be over, so that its buffer is ours again. */
static void end_pending_read(conversation *c)
{
    DWORD ignored;

    if (!c->read_pending)
        return;
    CancelIo(installer_pipe);
    GetOverlappedResult(installer_pipe, &c->overlapped, &ignored, TRUE);
    c->read_pending = 0;
}

static void terminate_installer(conversation *c)
{
    if (c->process != NULL)
        TerminateProcess(c->process, 0);
}

static int installer_has_ended(const conversation *c, DWORD wait_ms)
{
    return c->process != NULL && WaitForSingleObject(c->process, wait_ms) == WAIT_OBJECT_0;
}

/* A bound for the waits that the installer's long steps do not stretch. */
static DWORD finite_wait_ms(void)
{
    return installer_read_timeout_ms == INFINITE ? FINITE_TIMEOUT_MS : installer_read_timeout_ms;
}

static int result_of_exit_code(const conversation *c)
{
    DWORD code;

    /* Without a process handle only the installer's own word is left. */
    if (c->process == NULL) {
        if (c->finished)
            return UDI_OK;
        return c->connected ? UDI_ERR_INSTALLER_FAILED : UDI_ERR_LAUNCH_FAILED;
    }
    if (!GetExitCodeProcess(c->process, &code))
        return UDI_ERR_INSTALLER_FAILED;
    if (code == 0)
        return UDI_OK;
    if (code == STILL_ACTIVE)
        return UDI_ERR_TIMED_OUT;
    return UDI_ERR_INSTALLER_FAILED;
}

/* The installer closed its end: it should be ending now. */
static int after_broken_pipe(conversation *c)
{
    if (c->process == NULL || installer_has_ended(c, installer_read_timeout_ms))
        return INSTALLER_ENDED;
    /* Still running with nobody to talk to: it is hung, not done. */
    log_message(LOG_ERROR, FUNCTION_NAME, "Installer did not end after closing the pipe - aborting");
    terminate_installer(c);
    return UDI_ERR_TIMED_OUT;
}

/* The message is longer than the buffer: the next read appends its rest. */
static int grow_buffer(conversation *c, DWORD *fill, int completed_later)
{
    unsigned char *grown;
    DWORD new_size = c->size * 2;

    if (new_size > MAX_MESSAGE_SIZE) {
        log_message(LOG_ERROR, FUNCTION_NAME,
                    "Installer message longer than %d bytes - aborting", MAX_MESSAGE_SIZE);
        return UDI_ERR_MISSING;
    }
    if (completed_later)
        log_message(LOG_DEBUG, FUNCTION_NAME,
                    "Message overflow (async) - increasing buffer size to %d bytes", (int)new_size);
    else
        log_message(LOG_DEBUG, FUNCTION_NAME,
                    "message overflow (sync) - increasing buffer size to %d bytes", (int)new_size);
    grown = realloc(c->buffer, new_size);
    if (grown == NULL) {
        log_message(LOG_ERROR, FUNCTION_NAME, "%s",
                    completed_later ? "Unable to realloc buffer: aborting"
                                    : "unable to realloc buffer: aborting");
        return UDI_ERR_OUT_OF_RESOURCES;
    }
    c->buffer = grown;
    *fill = c->size;
    c->size = new_size;
    return GO_ON;
}

static int handle_message(conversation *c, DWORD length)
{
    int result;

    if (!filter_mode && length == 1 && c->buffer[0] == INSTALLER_FINISHED)
        c->finished = 1;
    result = process_message(c->buffer, length);
    return result == 0 ? GO_ON : result;
}

/*
 * No installer has connected yet. One that has ended never will, but it may
 * have come and gone between two looks: its messages are still there to be
 * read once more. One that runs is given the finite timeout to connect.
 */
static int wait_for_connection(conversation *c, ULONGLONG *deadline)
{
    const ULONGLONG now = GetTickCount64();

    if (*deadline == 0)
        *deadline = now + finite_wait_ms();
    if (c->ended)
        return INSTALLER_ENDED;
    if (now >= *deadline) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Installer did not connect - aborting");
        terminate_installer(c);
        return UDI_ERR_TIMED_OUT;
    }
    if (c->process == NULL)
        Sleep(LISTEN_RETRY_MS);
    else
        c->ended = installer_has_ended(c, LISTEN_RETRY_MS);
    return GO_ON;
}

/*
 * A read failed for no reason the protocol knows. Read again, after a pause,
 * as long as the installer runs and the failures last less than the finite
 * timeout; once it has ended, one more read takes what it left.
 */
static int after_read_error(conversation *c, ULONGLONG *failing_since)
{
    const ULONGLONG now = GetTickCount64();

    if (*failing_since == 0)
        *failing_since = now;
    if (c->ended)
        return INSTALLER_ENDED;
    if (now - *failing_since >= finite_wait_ms()) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not read from pipe for too long - aborting");
        terminate_installer(c);
        return UDI_ERR_TIMED_OUT;
    }
    if (c->process == NULL)
        Sleep(READ_ERROR_PAUSE_MS);
    else
        c->ended = installer_has_ended(c, READ_ERROR_PAUSE_MS);
    return GO_ON;
}

/* A read is in flight: wait for it, or for the installer's end, within the timeout. */
static int wait_for_read(conversation *c, DWORD *fill, ULONGLONG *failing_since)
{
    HANDLE handles[2];
    DWORD count = 0;
    DWORD got = 0;
    DWORD wait;
    DWORD error;

    handles[count++] = c->event;
    if (c->process != NULL)
        handles[count++] = c->process;
    wait = WaitForMultipleObjects(count, handles, FALSE, installer_read_timeout_ms);

    if (wait == WAIT_OBJECT_0) {
        c->read_pending = 0;
        if (GetOverlappedResult(installer_pipe, &c->overlapped, &got, FALSE)) {
            *failing_since = 0;
            got += *fill;
            *fill = 0;
            return handle_message(c, got);
        }
        error = GetLastError();
        if (error == ERROR_BROKEN_PIPE)
            return after_broken_pipe(c);
        if (error == ERROR_MORE_DATA) {
            *failing_since = 0;
            return grow_buffer(c, fill, 1);
        }
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not read from pipe (async): %s",
                    windows_error_text(error));
        return after_read_error(c, failing_since);
    }
    if (count == 2 && wait == WAIT_OBJECT_0 + 1) {
        end_pending_read(c);
        return INSTALLER_ENDED;
    }
    if (wait == WAIT_TIMEOUT) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Installer failed to respond - aborting");
        terminate_installer(c);
        return UDI_ERR_TIMED_OUT;
    }
    error = GetLastError();
    log_message(LOG_ERROR, FUNCTION_NAME, "Could not read from pipe (wait): %s",
                windows_error_text(error));
    /* The read is still in flight; the next one needs the buffer. */
    end_pending_read(c);
    return after_read_error(c, failing_since);
}

static int read_loop(conversation *c)
{
    ULONGLONG connect_deadline = 0;
    ULONGLONG failing_since = 0;
    DWORD fill = 0;
    DWORD got;
    DWORD error;
    int step;

    for (;;) {
        memset(&c->overlapped, 0, sizeof(c->overlapped));
        c->overlapped.hEvent = c->event;
        got = 0;
        if (ReadFile(installer_pipe, c->buffer + fill, c->size - fill, &got, &c->overlapped)) {
            c->connected = 1;
            failing_since = 0;
            got += fill;
            fill = 0;
            step = handle_message(c, got);
        } else {
            error = GetLastError();
            if (error != ERROR_PIPE_LISTENING)
                c->connected = 1;
            switch (error) {
            case ERROR_BROKEN_PIPE:
                step = after_broken_pipe(c);
                break;
            case ERROR_MORE_DATA:
                failing_since = 0;
                step = grow_buffer(c, &fill, 0);
                break;
            case ERROR_PIPE_LISTENING:
                step = wait_for_connection(c, &connect_deadline);
                break;
            case ERROR_IO_PENDING:
                c->read_pending = 1;
                step = wait_for_read(c, &fill, &failing_since);
                break;
            default:
                log_message(LOG_ERROR, FUNCTION_NAME, "Could not read from pipe (sync): %s",
                            windows_error_text(error));
                step = after_read_error(c, &failing_since);
                break;
            }
        }
        if (step == INSTALLER_ENDED)
            return result_of_exit_code(c);
        if (step != GO_ON)
            return step;
    }
}

/* Starting the installer. */

static int user_is_administrator(system_module *shell32)
{
    is_user_an_admin_fn is_admin = (is_user_an_admin_fn)system_module_ordinal(
        shell32, IS_USER_AN_ADMIN_ORDINAL, "IsUserAnAdmin", FUNCTION_NAME);

    return is_admin != NULL && is_admin();
}

/* path without the double quotes around it; in place. */
static char *unquoted(char *path)
{
    size_t length = strlen(path);

    if (length >= 2 && path[0] == '"' && path[length - 1] == '"') {
        path[length - 1] = '\0';
        return path + 1;
    }
    return path;
}

static int file_exists(const char *path)
{
    wchar_t *wide = utf8_to_wide(path);
    DWORD attributes;

    if (wide == NULL)
        return 0;
    attributes = GetFileAttributesW(wide);
    free(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static int start_elevated(const char *file, const char *parameters, const char *folder,
                          HANDLE *process)
{
    SHELLEXECUTEINFOA info;
    DWORD error;

    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    /* A failed start is told by its error code: no message box of the shell
       on this thread, which nobody may be looking at. */
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = NULL;
    info.lpVerb = "runas";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = folder;
    info.nShow = SW_HIDE;
    SetLastError(ERROR_SUCCESS);
    if (!shell_execute_ex_utf8(&info)) {
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            log_message(LOG_INFO, FUNCTION_NAME, "Could not find installer executable");
            return UDI_ERR_MISSING;
        }
        if (error == ERROR_CANCELLED) {
            log_message(LOG_INFO, FUNCTION_NAME,
                        "Operation cancelled by the user or due to missing data");
            return UDI_ERR_CANCELLED;
        }
        if (error != ERROR_SUCCESS) {
            log_message(LOG_ERROR, FUNCTION_NAME, "ShellExecuteEx failed: %s",
                        windows_error_text(error));
            return UDI_ERR_LAUNCH_FAILED;
        }
        /* A failure without a reason: the installer may run all the same. */
    }
    *process = info.hProcess;
    if (*process == NULL)
        log_message(LOG_WARNING, FUNCTION_NAME,
                    "No handle of the installer process - relying on the pipe alone");
    return UDI_OK;
}

static int start_plain(const char *executable, const char *argument, const char *folder,
                       HANDLE client_end, HANDLE *process, HANDLE *thread)
{
    char command_line[MAX_PATH];
    STARTUPINFOA startup;
    PROCESS_INFORMATION started;

    format_truncated(command_line, sizeof(command_line), "%s %s", executable, argument);
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    if (filter_mode) {
        /* The filter installer's console output becomes pipe messages. */
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = client_end;
        startup.hStdError = client_end;
    }
    memset(&started, 0, sizeof(started));
    if (!create_process_utf8(NULL, command_line, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL,
                             folder, &startup, &started)) {
        log_message(LOG_ERROR, FUNCTION_NAME, "CreateProcess failed: %s", windows_error_text(0));
        return UDI_ERR_LAUNCH_FAILED;
    }
    *process = started.hProcess;
    *thread = started.hThread;
    return UDI_OK;
}

/* The operation. */

/* The folder of the request, or TEMP's, in folder (MAX_PATH bytes). */
static int choose_folder(const install_request *request, char *folder)
{
    char *temp;

    if (request->folder != NULL && request->folder[0] != '\0') {
        format_truncated(folder, MAX_PATH, "%s", request->folder);
        return UDI_OK;
    }
    temp = getenv_utf8("TEMP");
    if (temp == NULL)
        return UDI_ERR_BAD_ARGUMENT;
    format_truncated(folder, MAX_PATH, "%s", temp);
    free(temp);
    log_message(LOG_INFO, FUNCTION_NAME, "No path provided - installing from '%s'", folder);
    return UDI_OK;
}

static void installation_init(installation *run)
{
    memset(run, 0, sizeof(*run));
    run->client_end = INVALID_HANDLE_VALUE;
}

/* Taken out of the record before it is closed: a record half let go is
   never closed twice, whoever finishes it. */
static void close_held(HANDLE *held, HANDLE none)
{
    HANDLE handle = *held;

    *held = none;
    if (handle != none)
        CloseHandle(handle);
}

/* From here on the installer can be ended from outside. */
static void allow_stop(installation *run)
{
    HANDLE copy = NULL;

    if (run->talk.process != NULL
        && DuplicateHandle(GetCurrentProcess(), run->talk.process, GetCurrentProcess(), &copy,
                           PROCESS_TERMINATE, FALSE, 0))
        InterlockedExchangePointer((PVOID volatile *)&run->stop_handle, copy);
}

static void end_installer_from_outside(installation *run)
{
    HANDLE copy = InterlockedExchangePointer((PVOID volatile *)&run->stop_handle, NULL);

    if (copy == NULL)
        return;
    /* A failure code, should anything read it before the stop is seen. */
    TerminateProcess(copy, 1);
    CloseHandle(copy);
}

/* The installer's handle for a stop is not needed any more. */
static void forbid_stop(installation *run)
{
    HANDLE copy = InterlockedExchangePointer((PVOID volatile *)&run->stop_handle, NULL);

    if (copy != NULL)
        CloseHandle(copy);
}

static int stop_was_requested(installation *run)
{
    return InterlockedCompareExchange(&run->stop_requested, 0, 0) != 0;
}

static udi_result install(install_request *request, installation *run)
{
    system_module setupapi = { NULL, NULL, 0 };
    system_module shell32 = { NULL, NULL, 0 };
    wait_no_pending_install_events_fn wait_no_pending;
    conversation *talk = &run->talk;
    SECURITY_ATTRIBUTES inheritable = { sizeof(inheritable), NULL, TRUE };
    char folder[MAX_PATH];
    char executable[MAX_PATH];
    char argument[MAX_PATH];
    char plain[MAX_PATH];
    char *executable_path;
    HWND prompt;
    udi_result r;

    r = enter_operation(&run->frame, FUNCTION_NAME, 1);
    if (r != UDI_OK)
        return r;

    system_module_open(&setupapi, "SetupAPI");
    system_module_open(&shell32, "Shell32");
    wait_no_pending = (wait_no_pending_install_events_fn)system_module_function(
        &setupapi, "CMP_WaitNoPendingInstallEvents", FUNCTION_NAME);
    if (wait_no_pending == NULL) {
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    current_device = request->device;
    filter_mode = request->options != NULL && request->options->use_filter_installer;
    /* A long step that an earlier installer began and never ended was its
       own: this installer has to ask again. */
    installer_read_timeout_ms = FINITE_TIMEOUT_MS;

    r = choose_folder(request, folder);
    if (r != UDI_OK)
        goto out;
    if (request->device == NULL || request->inf_file_name == NULL) {
        log_message(LOG_ERROR, FUNCTION_NAME, "One of the required parameter is NULL");
        r = UDI_ERR_BAD_ARGUMENT;
        goto out;
    }

    /* Without options nobody asked to wait, so nothing is checked either. */
    if (request->options != NULL) {
        DWORD waited = wait_no_pending(request->options->pending_install_wait_ms);

        if (waited == WAIT_TIMEOUT) {
            log_message(LOG_WARNING, FUNCTION_NAME,
                        "Timeout expired while waiting for another pending installation - aborting");
            r = UDI_ERR_INSTALL_PENDING;
            goto out;
        }
        /* The wait only keeps two installations apart; one that cannot be
           had stops nothing, but it is said, not taken for "none pending". */
        if (waited == WAIT_FAILED)
            log_message(LOG_WARNING, FUNCTION_NAME,
                        "Could not wait for pending installations: %s", windows_error_text(0));
    }

    /* Ours from the first instance on, or not at all: an installer must never
       talk to a pipe of that name that another program made, nor to one on
       another machine. */
    installer_pipe = CreateNamedPipeA(PIPE_NAME,
                                      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED
                                          | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE
                                          | PIPE_REJECT_REMOTE_CLIENTS,
                                      1, PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, 0, NULL);
    if (installer_pipe == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();

        log_message(LOG_ERROR, FUNCTION_NAME, "Could not create read pipe: %s",
                    windows_error_text(error));
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
            log_message(LOG_ERROR, FUNCTION_NAME, "The pipe %s is held by another program",
                        PIPE_NAME);
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    talk->event = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (talk->event == NULL) {
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    if (!filter_mode) {
        format_truncated(executable, sizeof(executable), "\"%s\\installer_x%s.exe\"", folder,
                         INSTALLER_BITS);
        format_truncated(argument, sizeof(argument), "\"%s\"", request->inf_file_name);
    } else {
        const char *hardware_id = request->device->hardware_id != NULL
                                      ? request->device->hardware_id : "";
        const char *upper_filter = request->device->first_upper_filter;

        format_truncated(executable, sizeof(executable), "\"%s\\%s\\\\install-filter.exe\"",
                         folder, FILTER_SUBFOLDER);
        format_truncated(argument, sizeof(argument), "%s -d=%s",
                         upper_filter != NULL && _stricmp(upper_filter, "libusb0") == 0
                             ? "uninstall" : "install",
                         hardware_id);
        /* The pipe has one instance: in filter mode it is ours, so that the
           filter installer's output can be handed to it as its console. */
        run->client_end = CreateFileA(PIPE_NAME, GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
        if (run->client_end == INVALID_HANDLE_VALUE) {
            log_message(LOG_ERROR, FUNCTION_NAME, "Could not create stdout endpoint: %s",
                        windows_error_text(0));
            r = UDI_ERR_OUT_OF_RESOURCES;
            goto out;
        }
    }

    /* The quoted path is for the command line; the file is looked for without them. */
    format_truncated(plain, sizeof(plain), "%s", executable);
    executable_path = unquoted(plain);
    if (!file_exists(executable_path)) {
        log_message(LOG_ERROR, FUNCTION_NAME,
                    "This application does not contain the required %s bit installer",
                    INSTALLER_BITS);
        log_message(LOG_ERROR, FUNCTION_NAME,
                    "Please contact the application provider for a %s bit compatible version",
                    INSTALLER_BITS);
        r = UDI_ERR_MISSING;
        goto out;
    }

    if (stop_was_requested(run)) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Installation stopped - aborting");
        r = UDI_ERR_TIMED_OUT;
        goto out;
    }
    /* The full path, never a name to be searched for: an elevated start
       must run this package's installer and no other. */
    if (user_is_administrator(&shell32))
        r = start_elevated(executable_path, argument, folder, &talk->process);
    else
        r = start_plain(executable, argument, folder, run->client_end, &talk->process,
                        &run->thread);
    if (r != UDI_OK)
        goto out;

    talk->size = READ_BUFFER_SIZE;
    talk->buffer = malloc(talk->size);
    if (talk->buffer == NULL) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Unable to allocate buffer: aborting");
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    allow_stop(run);
    /* A stop that came while the installer started has found nothing to end. */
    if (stop_was_requested(run))
        end_installer_from_outside(run);
    r = read_loop(talk);
    if (stop_was_requested(run)) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Installation stopped - aborting");
        r = UDI_ERR_TIMED_OUT;
    }

out:
    prompt = find_security_prompt();
    if (prompt != NULL)
        DestroyWindow(prompt);
    current_device = NULL;
    installer_read_timeout_ms = FINITE_TIMEOUT_MS;
    end_pending_read(talk);
    free(talk->buffer);
    talk->buffer = NULL;
    forbid_stop(run);
    close_held(&run->thread, NULL);
    close_held(&talk->process, NULL);
    close_held(&talk->event, NULL);
    close_held(&installer_pipe, INVALID_HANDLE_VALUE);
    close_held(&run->client_end, INVALID_HANDLE_VALUE);
    system_module_close(&shell32);
    system_module_close(&setupapi);
    leave_operation(&run->frame);
    return r;
}

udi_result install_driver_internal(install_request *request)
{
    installation run;

    installation_init(&run);
    return install(request, &run);
}

/* An installation behind the progress dialog, on the caller's stack. */
typedef struct dialog_installation {
    install_request *request;
    installation run;
} dialog_installation;

static int install_worker(void *argument)
{
    dialog_installation *job = argument;

    return install(job->request, &job->run);
}

/*
 * The dialog's time limit: the installer is ended, and with it the
 * conversation; the worker then lets go of everything itself.
 */
static void stop_installation(void *argument)
{
    dialog_installation *job = argument;

    InterlockedExchange(&job->run.stop_requested, 1);
    end_installer_from_outside(&job->run);
}

/*
 * The worker was killed all the same: its handles are closed here. The
 * killed thread may have held the heap's or the loader's lock, so its
 * buffer and its modules are left as they are, and nothing is logged.
 */
static void release_installation(void *argument)
{
    dialog_installation *job = argument;
    installation *run = &job->run;
    DWORD ignored;

    /* A read in flight writes into the record, which goes with the caller. */
    if (run->talk.read_pending && installer_pipe != INVALID_HANDLE_VALUE) {
        CancelIoEx(installer_pipe, &run->talk.overlapped);
        GetOverlappedResult(installer_pipe, &run->talk.overlapped, &ignored, TRUE);
        run->talk.read_pending = 0;
    }
    end_installer_from_outside(run);
    close_held(&run->thread, NULL);
    close_held(&run->talk.process, NULL);
    close_held(&run->talk.event, NULL);
    close_held(&installer_pipe, INVALID_HANDLE_VALUE);
    close_held(&run->client_end, INVALID_HANDLE_VALUE);
    current_device = NULL;
    installer_read_timeout_ms = FINITE_TIMEOUT_MS;
    leave_operation(&run->frame);
}

static const progress_ending installation_ending = { stop_installation, release_installation };


udi_result udi_install_driver(const udi_device_node *device, const char *folder,
                              const char *inf_file_name, const udi_install_options *options)
{
    install_request request;

    request.device = device;
    request.folder = folder;
    request.inf_file_name = inf_file_name;
    request.options = options;
    if (options != NULL && options->parent_window != NULL) {
        dialog_installation job;

        log_message(LOG_DEBUG, "udi_install_driver", "Using progress bar mode");
        job.request = &request;
        installation_init(&job.run);
        return run_with_progress_bar((HWND)options->parent_window, install_worker, &job,
                                     &installation_ending);
    }
    log_message(LOG_DEBUG, "udi_install_driver", "Using standard mode");
    return install_driver_internal(&request);
}
