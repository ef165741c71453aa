/*
 * UTF-8 and UTF-16 copies of texts for the Windows calls, and the
 * environment. Every result is a fresh heap copy that the caller frees with
 * free(); NULL on failure.
 */
#ifndef UDI_TEXT_H
#define UDI_TEXT_H

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* NULL for NULL; an empty text gives an empty UTF-16 text. */
wchar_t *utf8_to_wide(const char *text);

/* As utf8_to_wide, but NULL for an empty text too. */
wchar_t *utf8_to_wide_nonempty(const char *text);

/* text must not be NULL; empty gives empty. */
char *wide_to_utf8(const wchar_t *text);

/* The variable's value in UTF-8, or NULL when it is not set. */
char *getenv_utf8(const char *name);

#ifdef __cplusplus
}
#endif

#endif
