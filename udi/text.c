/*
 * Conversions for the Windows calls, the library speaking UTF-8 and the
 * system's wide entry points UTF-16, and the environment read in UTF-8.
 */
#include "internal.h"

#include <stdlib.h>

wchar_t *utf8_to_wide(const char *text)
{
    if (text == NULL)
        return NULL;
    if (text[0] == '\0')
        return calloc(1, sizeof(wchar_t));
    return utf8_to_wide_nonempty(text);
}

wchar_t *utf8_to_wide_nonempty(const char *text)
{
    int length;
    wchar_t *wide;

    if (text == NULL)
        return NULL;
    length = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    if (length <= 1)
        return NULL;
    wide = calloc((size_t)length, sizeof(wchar_t));
    if (wide == NULL)
        return NULL;
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, length) != length) {
        free(wide);
        return NULL;
    }
    return wide;
}

char *wide_to_utf8(const wchar_t *text)
{
    int length;
    char *utf8;

    if (text == NULL)
        return NULL;
    if (text[0] == L'\0')
        return calloc(1, 1);
    length = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (length <= 1)
        return NULL;
    utf8 = calloc((size_t)length, 1);
    if (utf8 == NULL)
        return NULL;
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, length, NULL, NULL) != length) {
        free(utf8);
        return NULL;
    }
    return utf8;
}

char *getenv_utf8(const char *name)
{
    wchar_t *wide_name = NULL;
    wchar_t *value = NULL;
    char *result = NULL;
    DWORD size;
    DWORD length;

    wide_name = utf8_to_wide_nonempty(name);
    if (wide_name == NULL)
        goto out;
    size = GetEnvironmentVariableW(wide_name, NULL, 0);
    if (size == 0)
        goto out;
    value = calloc(size, sizeof(wchar_t));
    if (value == NULL)
        goto out;
    /* An empty value reads as length 0 too, and leaves the last error as it
       was: only an error set by this call says the variable went. */
    SetLastError(ERROR_SUCCESS);
    length = GetEnvironmentVariableW(wide_name, value, size);
    /* A variable that grew between the two calls is not read half. */
    if (length >= size || (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND))
        goto out;
    result = wide_to_utf8(value);

out:
    free(value);
    free(wide_name);
    return result;
}
