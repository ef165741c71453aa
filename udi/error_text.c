#include "error_text.h"

#include <string.h>
#include <windows.h>

#include "format.h"

static char windows_error_buffer[256];

const char *windows_error_text(uint32_t code)
{
    DWORD entry_error = GetLastError();
    DWORD written;
    DWORD lookup_error;
    int prefix_length;
    size_t length;

    if (code == 0)
        code = entry_error;

    prefix_length = format_truncated(windows_error_buffer, sizeof(windows_error_buffer),
                                     "[#%08X] ", (unsigned)code);
    if (prefix_length < 0)
        prefix_length = 0;

    SetLastError(0);
    written = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                             code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                             &windows_error_buffer[prefix_length],
                             (DWORD)(sizeof(windows_error_buffer) - (size_t)prefix_length),
                             NULL);
    if (written == 0) {
        lookup_error = GetLastError();
        if (lookup_error != 0)
            format_truncated(windows_error_buffer, sizeof(windows_error_buffer),
                             "Windows error code %u (FormatMessage error code %u)",
                             (unsigned)code, (unsigned)lookup_error);
        else
            format_truncated(windows_error_buffer, sizeof(windows_error_buffer),
                             "Unknown error code %u", (unsigned)code);
    }
    windows_error_buffer[sizeof(windows_error_buffer) - 1] = '\0';

    length = strlen(windows_error_buffer);
    while (length > 0 && (windows_error_buffer[length - 1] == '\n'
                          || windows_error_buffer[length - 1] == '\r'))
        windows_error_buffer[--length] = '\0';

    /* The text is built for a log line right after a failed call: leave
       that call's error for the caller's later checks. */
    SetLastError(entry_error);
    return windows_error_buffer;
}
