/*
 * The log and the error texts its messages carry. A log window fed through
 * a pipe could take the lines instead of the console, but nothing in the
 * program registers one, so every line goes to the console (visible when
 * the program was started from one).
 */
#include "internal.h"

#include <stdarg.h>
#include <string.h>

static void log_to_console(int level, const char *function, const char *format,
                           va_list arguments)
{
    FILE *stream;

    if (level < log_level_threshold)
        return;
    stream = (level == LOG_INFO) ? stdout : stderr;
    fprintf(stream, "libudi:%s [%s] ", log_level_name(level),
            function != NULL ? function : "");
    vfprintf(stream, format, arguments);
    fputc('\n', stream);
    /* Standard output is buffered on a pipe: without this an info line
       would show up after the warnings that followed it. */
    fflush(stream);
}

void log_message(int level, const char *function, const char *format, ...)
{
    va_list arguments;

    if (format == NULL)
        return;
    va_start(arguments, format);
    log_to_console(level, function, format, arguments);
    va_end(arguments);
}

/* Texts of Windows error codes. */

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

/* Texts of cryptography error codes. */

static char pki_error_buffer[64];

const char *pki_error_text(uint32_t code)
{
    const char *text;

    if (code == 0)
        code = GetLastError();

    text = pki_error_fixed_text(code);
    if (text != NULL)
        return text;
    if (!is_pki_error_code(code))
        return windows_error_text(code);
    return format_unknown_pki_error(pki_error_buffer, sizeof(pki_error_buffer), code);
}
