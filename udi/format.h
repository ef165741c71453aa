/*
 * The library's formatting functions, with the limits its callers rely on.
 * Wide formats take %ls for UTF-16 texts (the library builds with the
 * standard C printf family).
 */
#ifndef UDI_FORMAT_H
#define UDI_FORMAT_H

#include <stdarg.h>
#include <stddef.h>
#include <wchar.h>

#include "printf_check.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Writes at most size characters. Returns the length, or -1 when the text
 * does not fit; then the buffer need not be terminated, so callers put a
 * terminator into buffer[size - 1] to keep the cut text.
 */
int format_bounded(char *buffer, size_t size, const char *format, ...) UDI_PRINTF_LIKE(3, 4);
int format_bounded_wide(wchar_t *buffer, size_t size, const wchar_t *format, ...);

/* Always terminates, cutting a long text; returns -1 when it cut, else the length. */
int format_truncated(char *buffer, size_t size, const char *format, ...) UDI_PRINTF_LIKE(3, 4);
int format_truncated_va(char *buffer, size_t size, const char *format, va_list arguments);

/* No limit: the caller has sized the buffer for the text. */
int format_unbounded(char *buffer, const char *format, ...) UDI_PRINTF_LIKE(2, 3);

#ifdef __cplusplus
}
#endif

#endif
