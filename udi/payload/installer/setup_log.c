#include "setup_log.h"

#include <stdlib.h>
#include <wchar.h>

#include "protocol.h"
#include "report.h"

static ULONGLONG file_size(const wchar_t *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;

    if (path[0] == L'\0' || !GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

void setup_log_mark_end(setup_log_mark *mark)
{
    wchar_t windows[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);

    mark->path[0] = L'\0';
    if (length > 0 && length < MAX_PATH
        && swprintf(mark->path, MAX_PATH, L"%ls\\inf\\setupapi.dev.log", windows) < 0)
        mark->path[0] = L'\0';
    mark->size = file_size(mark->path);
}

static int send_line(void *context, const char *line, size_t length)
{
    report_setup_log_line(context, line, length);
    return 0;
}

void setup_log_forward(pipe_client *pipe, const setup_log_mark *mark)
{
    HANDLE log;
    LARGE_INTEGER size;
    LARGE_INTEGER start;
    char *text = NULL;
    DWORD got = 0;

    if (mark->path[0] == L'\0')
        return;
    /* The system may be writing to it still: share everything. */
    log = CreateFileW(mark->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE) {
        report_progress(pipe, L"The system kept no setup log in '%ls'", mark->path);
        return;
    }
    if (!GetFileSizeEx(log, &size))
        goto done;

    /* A log that shrank was started anew: all of it is this installation's. */
    start.QuadPart = (ULONGLONG)size.QuadPart >= mark->size ? (LONGLONG)mark->size : 0;
    if (size.QuadPart - start.QuadPart > SETUP_LOG_FORWARD_MAX) {
        report_progress(pipe, L"The setup log grew by %lu KiB; only its last %d KiB are sent",
                        (unsigned long)((size.QuadPart - start.QuadPart) / 1024),
                        SETUP_LOG_FORWARD_MAX / 1024);
        start.QuadPart = size.QuadPart - SETUP_LOG_FORWARD_MAX;
    }
    if (size.QuadPart == start.QuadPart)
        goto done;

    text = malloc(SETUP_LOG_FORWARD_MAX);
    if (text == NULL || !SetFilePointerEx(log, start, NULL, FILE_BEGIN)
        || !ReadFile(log, text, (DWORD)(size.QuadPart - start.QuadPart), &got, NULL))
        goto done;
    for_each_text_line(text, got, send_line, pipe);

done:
    free(text);
    CloseHandle(log);
}
