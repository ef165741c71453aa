/* Making sure a folder exists, creating it owned by the current user. */
#include "user_files.h"

#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "error_text.h"
#include "format.h"
#include "libudi.h"
#include "log.h"
#include "text.h"
#include "user_owned_security.h"

#define RELATIVE_PATH_BUFFER 260

/* The path without its surrounding double quotes, in UTF-16. */
static wchar_t *unquoted_wide_path(const char *path)
{
    size_t length = strlen(path);
    char *unquoted;
    wchar_t *wide;

    if (length < 2 || path[0] != '"' || path[length - 1] != '"')
        return utf8_to_wide(path);
    unquoted = malloc(length - 1);
    if (unquoted == NULL)
        return NULL;
    memcpy(unquoted, path + 1, length - 2);
    unquoted[length - 2] = '\0';
    wide = utf8_to_wide(unquoted);
    free(unquoted);
    return wide;
}

/* SHCreateDirectoryEx wants a full path: relative ones get the current folder. */
static int create_below_current_folder(const wchar_t *path, SECURITY_ATTRIBUTES *attributes,
                                       int *result)
{
    wchar_t *absolute = malloc(RELATIVE_PATH_BUFFER * sizeof(wchar_t));
    wchar_t current[RELATIVE_PATH_BUFFER];
    DWORD length;

    if (absolute == NULL) {
        log_message(LOG_ERROR, "check_dir", "Could not allocate buffer to convert relative path");
        return UDI_ERR_OUT_OF_RESOURCES;
    }
    length = GetCurrentDirectoryW(RELATIVE_PATH_BUFFER, current);
    if (length == 0 || length >= RELATIVE_PATH_BUFFER)
        current[0] = L'\0';
    format_bounded_wide(absolute, RELATIVE_PATH_BUFFER, L"%ls\\%ls", current, path);
    absolute[RELATIVE_PATH_BUFFER - 1] = L'\0';
    *result = SHCreateDirectoryExW(NULL, absolute, attributes);
    free(absolute);
    return UDI_OK;
}

int check_dir(const char *path, int create)
{
    wchar_t *wide_path = NULL;
    user_owned_security security = { 0 };
    SECURITY_ATTRIBUTES *attributes;
    DWORD file_attributes;
    DWORD error;
    int created;
    int r = UDI_OK;

    if (path == NULL)
        return UDI_ERR_BAD_ARGUMENT;
    wide_path = unquoted_wide_path(path);
    if (wide_path == NULL)
        return UDI_ERR_OUT_OF_RESOURCES;

    file_attributes = GetFileAttributesW(wide_path);
    if (file_attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(file_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            log_message(LOG_ERROR, "check_dir", "'%s' is a file, not a directory", path);
            r = UDI_ERR_FILE_ACCESS;
        }
        goto out;
    }

    error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        log_message(LOG_ERROR, "check_dir", "Unable to read file attributes %s",
                    windows_error_text(error));
        r = UDI_ERR_FILE_ACCESS;
        goto out;
    }
    if (!create) {
        log_message(LOG_ERROR, "check_dir", "'%s' does not exist", path);
        r = UDI_ERR_FILE_ACCESS;
        goto out;
    }

    attributes = user_owned_security_init(&security, "check_dir");
    created = SHCreateDirectoryExW(NULL, wide_path, attributes);
    if (created == ERROR_BAD_PATHNAME) {
        r = create_below_current_folder(wide_path, attributes, &created);
        if (r != UDI_OK)
            goto out;
    }
    /* Someone else may have made it meanwhile; a folder is all we need. */
    if (created == ERROR_ALREADY_EXISTS || created == ERROR_FILE_EXISTS) {
        file_attributes = GetFileAttributesW(wide_path);
        if (file_attributes != INVALID_FILE_ATTRIBUTES && (file_attributes & FILE_ATTRIBUTE_DIRECTORY))
            created = ERROR_SUCCESS;
    }

    if (created == ERROR_SUCCESS) {
        r = UDI_OK;
    } else if (created == ERROR_FILENAME_EXCED_RANGE) {
        log_message(LOG_ERROR, "check_dir", "Directory name '%s' is too long", path);
        r = UDI_ERR_BAD_ARGUMENT;
    } else {
        log_message(LOG_ERROR, "check_dir", "Unable to create directory '%s' (%s)", path,
                    windows_error_text((DWORD)created));
        r = UDI_ERR_FILE_ACCESS;
    }

out:
    user_owned_security_free(&security);
    free(wide_path);
    return r;
}
