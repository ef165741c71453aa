/*
 * The console sink of the log. A log window fed through a pipe could take
 * the lines instead, but nothing in the program registers one, so every line
 * goes to the console (visible when the program was started from one).
 */
#include "log.h"

#include <stdarg.h>
#include <stdio.h>

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
