#include "report.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "protocol.h"

/* Characters of one progress text; its UTF-8 form stays below a pipe message. */
#define PROGRESS_TEXT_MAX 1024

/* out holds three bytes per UTF-16 unit of text and one more: always enough. */
static void utf8_from_wide(const wchar_t *text, char *out, size_t size)
{
    int written = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, (int)size, NULL, NULL);

    if (written <= 0)
        out[0] = '\0';
}

static void send_text(pipe_client *pipe, unsigned char type, const wchar_t *text)
{
    char utf8[PROGRESS_TEXT_MAX * 3 + 1];

    utf8_from_wide(text, utf8, sizeof(utf8));
    pipe_send(pipe, type, utf8, strlen(utf8));
}

static void format_text(wchar_t *text, size_t size, const wchar_t *format, va_list arguments)
{
    if (vswprintf(text, size, format, arguments) < 0)
        text[size - 1] = L'\0';
}

static void send_formatted(pipe_client *pipe, unsigned char type, const wchar_t *format,
                           va_list arguments)
{
    wchar_t text[PROGRESS_TEXT_MAX];

    format_text(text, PROGRESS_TEXT_MAX, format, arguments);
    send_text(pipe, type, text);
}

void report_progress(pipe_client *pipe, const wchar_t *format, ...)
{
    va_list arguments;

    va_start(arguments, format);
    send_formatted(pipe, MESSAGE_PROGRESS, format, arguments);
    va_end(arguments);
}

void report_warning(pipe_client *pipe, const wchar_t *format, ...)
{
    va_list arguments;

    va_start(arguments, format);
    send_formatted(pipe, MESSAGE_WARNING, format, arguments);
    va_end(arguments);
}

/* "[#XXXXXXXX] " and the system's text of the error, into text (size characters). */
static void error_text(DWORD error, wchar_t *text, size_t size)
{
    wchar_t message[512];
    DWORD length;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

    length = FormatMessageW(flags, NULL, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                            message, 512, NULL);
    if (length == 0)
        length = FormatMessageW(flags, NULL, error, 0, message, 512, NULL);
    while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n'
                          || message[length - 1] == L' '))
        length--;
    message[length] = L'\0';
    if (swprintf(text, size, L"[#%08lX] %ls", (unsigned long)error,
                 length > 0 ? message : L"(no text for this error)") < 0)
        text[size - 1] = L'\0';
}

void report_failure(pipe_client *pipe, DWORD error, const wchar_t *format, ...)
{
    wchar_t text[PROGRESS_TEXT_MAX];
    size_t used;
    va_list arguments;

    va_start(arguments, format);
    format_text(text, PROGRESS_TEXT_MAX - 2, format, arguments);
    va_end(arguments);
    used = wcslen(text);
    wcscpy(text + used, L": ");
    error_text(error, text + used + 2, PROGRESS_TEXT_MAX - used - 2);
    send_text(pipe, MESSAGE_PROGRESS, text);
}

void report_setup_log_line(pipe_client *pipe, const char *line, size_t length)
{
    pipe_send(pipe, MESSAGE_SETUP_LOG, line, length < MESSAGE_TEXT_MAX ? length : MESSAGE_TEXT_MAX);
}

void report_long_step_begins(pipe_client *pipe)
{
    pipe_send(pipe, MESSAGE_LONG_STEP_BEGINS, NULL, 0);
}

void report_long_step_ended(pipe_client *pipe)
{
    pipe_send(pipe, MESSAGE_LONG_STEP_ENDED, NULL, 0);
}

void report_status(pipe_client *pipe, int status)
{
    const signed char byte = (signed char)status;

    pipe_send(pipe, MESSAGE_STATUS, &byte, 1);
}

void report_finished(pipe_client *pipe)
{
    pipe_send(pipe, MESSAGE_FINISHED, NULL, 0);
}
