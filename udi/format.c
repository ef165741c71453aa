/* The library's formatting functions over the standard C printf family. */
#include "format.h"

#include <stdio.h>

int format_bounded(char *buffer, size_t size, const char *format, ...)
{
    va_list arguments;
    int length;

    if (buffer == NULL || size == 0 || format == NULL)
        return -1;
    va_start(arguments, format);
    length = vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    return (length < 0 || (size_t)length >= size) ? -1 : length;
}

int format_bounded_wide(wchar_t *buffer, size_t size, const wchar_t *format, ...)
{
    va_list arguments;
    int length;

    if (buffer == NULL || size == 0 || format == NULL)
        return -1;
    va_start(arguments, format);
    /* Unlike vsnprintf, vswprintf answers a negative length when the text
       does not fit, whatever the C library. */
    length = vswprintf(buffer, size, format, arguments);
    va_end(arguments);
    return (length < 0 || (size_t)length >= size) ? -1 : length;
}

int format_truncated_va(char *buffer, size_t size, const char *format, va_list arguments)
{
    int length;

    if (buffer == NULL || size == 0)
        return -1;
    if (format == NULL) {
        buffer[0] = '\0';
        return -1;
    }
    length = vsnprintf(buffer, size, format, arguments);
    buffer[size - 1] = '\0';
    if (length < 0) {
        buffer[0] = '\0';
        return -1;
    }
    return ((size_t)length >= size) ? -1 : length;
}

int format_truncated(char *buffer, size_t size, const char *format, ...)
{
    va_list arguments;
    int length;

    va_start(arguments, format);
    length = format_truncated_va(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}

int format_unbounded(char *buffer, const char *format, ...)
{
    va_list arguments;
    int length;

    if (buffer == NULL || format == NULL)
        return -1;
    va_start(arguments, format);
    length = vsprintf(buffer, format, arguments);
    va_end(arguments);
    return length;
}
