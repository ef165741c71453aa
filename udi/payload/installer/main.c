/*
 * installer_x64.exe: installs the driver package of its folder for one
 * device. The library starts it hidden and elevated from the package folder
 * with the INF's name as its one argument, and serves it over a named pipe:
 * the installer asks there for the device's instance id, its hardware id and
 * the user's SID, and reports its progress, the system's setup log, its
 * status and its end.
 */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

#include "device_install.h"
#include "pipe_client.h"
#include "protocol.h"
#include "report.h"
#include "setup_log.h"

/* Exit codes; the library reads anything but 0 as a failure. */
enum {
    EXIT_INSTALLED = 0,
    EXIT_FAILED = 1,
    EXIT_BAD_COMMAND_LINE = 2,
    EXIT_NO_LIBRARY = 3       /* the pipe could not be opened, or it broke */
};

typedef struct device_ids {
    wchar_t device_id[REPLY_MAX_LENGTH + 1];
    wchar_t hardware_id[REPLY_MAX_LENGTH + 1];
    wchar_t user_sid[REPLY_MAX_LENGTH + 1];
} device_ids;

/*
 * This process runs elevated from a folder that anyone may have put files
 * into: libraries load from the system's folder only, never from ours or the
 * working folder. (What the program imports is all known to the system.)
 */
static void keep_libraries_to_the_system(void)
{
    typedef BOOL(WINAPI * set_default_dll_directories)(DWORD flags);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    set_default_dll_directories set_default = NULL;

    SetDllDirectoryW(L"");
    /* Windows 7 has it only with an update. */
    if (kernel32 != NULL)
        set_default = (set_default_dll_directories)(void (*)(void))GetProcAddress(
            kernel32, "SetDefaultDllDirectories");
    if (set_default != NULL)
        set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

static const wchar_t *request_name(unsigned char type)
{
    switch (type) {
    case MESSAGE_ASK_DEVICE_ID:
        return L"device instance id";
    case MESSAGE_ASK_HARDWARE_ID:
        return L"hardware id";
    default:
        return L"user's SID";
    }
}

/*
 * Asks for one value. A valid or empty reply gives 0 (an empty one an empty
 * value); anything else is the status to end with.
 */
static int ask(pipe_client *pipe, unsigned char type, enum reply_kind kind, wchar_t *value)
{
    /* One byte more than any valid reply, so that a longer one shows. */
    unsigned char reply[REPLY_MAX_LENGTH + 1];
    char text[REPLY_MAX_LENGTH + 1];
    size_t length = 0;
    size_t i;
    DWORD error;

    value[0] = L'\0';
    error = pipe_request(pipe, type, reply, sizeof(reply), &length);
    if (error == ERROR_MORE_DATA) {
        report_progress(pipe, L"The reply to the request for the %ls is too long",
                        request_name(type));
        return STATUS_BAD_REPLY;
    }
    if (error != ERROR_SUCCESS)
        return STATUS_LOST_LIBRARY;

    switch (check_reply(kind, reply, length, text, sizeof(text))) {
    case REPLY_VALID:
        /* Checked to be printable ASCII. */
        for (i = 0; text[i] != '\0'; i++)
            value[i] = (wchar_t)text[i];
        value[i] = L'\0';
        return STATUS_OK;
    case REPLY_EMPTY:
        return STATUS_OK;
    case REPLY_TOO_LONG:
        report_progress(pipe, L"The reply to the request for the %ls is too long",
                        request_name(type));
        return STATUS_BAD_REPLY;
    default:
        report_progress(pipe, L"The reply to the request for the %ls is not one (%u bytes)",
                        request_name(type), (unsigned)length);
        return STATUS_BAD_REPLY;
    }
}

static int ask_ids(pipe_client *pipe, device_ids *ids)
{
    int status = ask(pipe, MESSAGE_ASK_DEVICE_ID, REPLY_DEVICE_ID, ids->device_id);

    if (status == STATUS_OK)
        status = ask(pipe, MESSAGE_ASK_HARDWARE_ID, REPLY_HARDWARE_ID, ids->hardware_id);
    if (status == STATUS_OK)
        status = ask(pipe, MESSAGE_ASK_USER_SID, REPLY_USER_SID, ids->user_sid);
    if (status != STATUS_OK)
        return status;

    if (ids->device_id[0] == L'\0') {
        report_progress(pipe, L"The library knows no instance id of the device");
        return STATUS_MISSING;
    }
    report_progress(pipe, L"Device '%ls', hardware id '%ls', for the user %ls", ids->device_id,
                    ids->hardware_id[0] != L'\0' ? ids->hardware_id : L"(none)",
                    ids->user_sid[0] != L'\0' ? ids->user_sid : L"(unknown)");
    return STATUS_OK;
}

static int is_file(const wchar_t *path)
{
    DWORD attributes = GetFileAttributesW(path);

    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* A path from a drive's or the share's root; anything else is relative. */
static int is_relative(const wchar_t *path)
{
    return path[0] != L'\\' && path[0] != L'/' && !(path[0] != L'\0' && path[1] == L':');
}

/*
 * The INF's full path. A name is the package's, and the package is this
 * program's folder: an elevated start need not keep the working folder that
 * the library asked for, and whatever lies in the one it keeps is not ours.
 */
static int full_inf_path(const wchar_t *inf_name, wchar_t *path)
{
    wchar_t joined[MAX_PATH];
    wchar_t *separator;
    DWORD length;

    if (!is_relative(inf_name)) {
        length = GetFullPathNameW(inf_name, MAX_PATH, path, NULL);
        return length != 0 && length < MAX_PATH;
    }
    length = GetModuleFileNameW(NULL, joined, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    separator = wcsrchr(joined, L'\\');
    if (separator == NULL || (size_t)(separator + 1 - joined) + wcslen(inf_name) >= MAX_PATH)
        return 0;
    wcscpy(separator + 1, inf_name);
    length = GetFullPathNameW(joined, MAX_PATH, path, NULL);
    return length != 0 && length < MAX_PATH;
}

static int run_installation(pipe_client *pipe, const wchar_t *inf_name)
{
    wchar_t inf_path[MAX_PATH];
    device_ids ids;
    setup_log_mark log_mark;
    int status;

    status = ask_ids(pipe, &ids);
    if (status != STATUS_OK)
        return status;

    if (!full_inf_path(inf_name, inf_path)) {
        report_progress(pipe, L"The INF name '%ls' gives no usable path", inf_name);
        return STATUS_FILE_ACCESS;
    }
    if (!is_file(inf_path)) {
        report_failure(pipe, GetLastError(), L"The INF '%ls' cannot be found", inf_path);
        return STATUS_FILE_ACCESS;
    }
    report_progress(pipe, L"Installing '%ls'", inf_path);

    setup_log_mark_end(&log_mark);
    status = install_device(pipe, inf_path, ids.device_id);
    setup_log_forward(pipe, &log_mark);
    if (status == STATUS_OK)
        report_progress(pipe, L"The driver is installed");
    return status;
}

int wmain(int argc, wchar_t **argv)
{
    pipe_client pipe;
    DWORD error;
    int status;
    int exit_code;

    keep_libraries_to_the_system();
    if (argc != 2 || argv[1][0] == L'\0') {
        fwprintf(stderr, L"usage: installer_x64 \"<INF file name>\"\n"
                         L"Run by the driver library, with the package folder as working folder.\n");
        return EXIT_BAD_COMMAND_LINE;
    }

    error = pipe_connect(&pipe, LIBRARY_PIPE_NAME, PIPE_CONNECT_WAIT_MS);
    if (error != ERROR_SUCCESS) {
        fwprintf(stderr, L"installer_x64: no connection to %ls (error %lu)\n", LIBRARY_PIPE_NAME,
                 (unsigned long)error);
        return EXIT_NO_LIBRARY;
    }

    status = run_installation(&pipe, argv[1]);
    report_status(&pipe, status);
    if (pipe.broken)
        exit_code = EXIT_NO_LIBRARY;
    else
        exit_code = status == STATUS_OK ? EXIT_INSTALLED : EXIT_FAILED;
    /* After a failure the library may already have let go of the pipe. */
    report_finished(&pipe);
    pipe_close(&pipe);
    return exit_code;
}
