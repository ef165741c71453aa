/*
 * Folders and files created owned by the current user, so that what the
 * elevated installer leaves stays the user's: the user's SID, the security
 * descriptor that names it the owner, check_dir and fopen_as_userU.
 */
#include "internal.h"

#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

/* The current user's SID, for owning what the library creates. */
PSID GetSid(void)
{
    HANDLE token = NULL;
    DWORD size = 0;
    TOKEN_USER *user = NULL;
    char *sid_text = NULL;
    PSID sid = NULL;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        log_message(LOG_ERROR, "GetSid", "OpenProcessToken failed: %s", windows_error_text(0));
        return NULL;
    }

    if (GetTokenInformation(token, TokenUser, NULL, 0, &size))
        goto out;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        log_message(LOG_ERROR, "GetSid", "GetTokenInformation (pre) failed: %s",
                    windows_error_text(0));
        goto out;
    }

    user = calloc(1, size);
    if (user == NULL)
        goto out;
    if (!GetTokenInformation(token, TokenUser, user, size, &size)) {
        log_message(LOG_ERROR, "GetSid", "GetTokenInformation (real) failed: %s",
                    windows_error_text(0));
        goto out;
    }

    /* Through the text form to get a copy that outlives the token
       buffer and is freed like any other system allocation. */
    if (!ConvertSidToStringSidA(user->User.Sid, &sid_text)) {
        log_message(LOG_ERROR, "GetSid", "Unable to convert SID to string: %s",
                    windows_error_text(0));
        goto out;
    }
    if (!ConvertStringSidToSidA(sid_text, &sid)) {
        log_message(LOG_ERROR, "GetSid", "Unable to convert string back to SID: %s",
                    windows_error_text(0));
        sid = NULL;
    }

out:
    if (sid_text != NULL)
        LocalFree(sid_text);
    free(user);
    CloseHandle(token);
    return sid;
}

/* A security descriptor that makes the current user the owner, nothing more. */
typedef struct user_owned_security {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
    PSID owner;
} user_owned_security;

/*
 * The attributes to create with, or NULL (logged under caller as
 * "Could not set security descriptor: %s") to create with the defaults.
 */
static SECURITY_ATTRIBUTES *user_owned_security_init(user_owned_security *security,
                                                     const char *caller)
{
    security->owner = GetSid();
    if (security->owner == NULL
        || !InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorOwner(&security->descriptor, security->owner, FALSE)) {
        log_message(LOG_ERROR, caller, "Could not set security descriptor: %s",
                    windows_error_text(0));
        return NULL;
    }
    security->attributes.nLength = sizeof(security->attributes);
    security->attributes.lpSecurityDescriptor = &security->descriptor;
    security->attributes.bInheritHandle = FALSE;
    return &security->attributes;
}

static void user_owned_security_free(user_owned_security *security)
{
    if (security->owner != NULL)
        LocalFree(security->owner);
    security->owner = NULL;
}

/* Making sure a folder exists, creating it owned by the current user. */

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

/*
 * SHCreateDirectoryEx wants a full path: relative ones get the current
 * folder. Without it the path would be taken from the drive's root, and a
 * cut one would name some other folder, so both fail here.
 */
static int create_below_current_folder(const char *path, const wchar_t *wide_path,
                                       SECURITY_ATTRIBUTES *attributes, int *result)
{
    wchar_t *absolute = malloc(RELATIVE_PATH_BUFFER * sizeof(wchar_t));
    wchar_t current[RELATIVE_PATH_BUFFER];
    DWORD length;
    int r = UDI_OK;

    if (absolute == NULL) {
        log_message(LOG_ERROR, "check_dir", "Could not allocate buffer to convert relative path");
        return UDI_ERR_OUT_OF_RESOURCES;
    }
    length = GetCurrentDirectoryW(RELATIVE_PATH_BUFFER, current);
    if (length == 0) {
        log_message(LOG_ERROR, "check_dir", "Unable to read the current directory (%s)",
                    windows_error_text(0));
        r = UDI_ERR_FILE_ACCESS;
    } else if (length >= RELATIVE_PATH_BUFFER
               || format_bounded_wide(absolute, RELATIVE_PATH_BUFFER, L"%ls\\%ls", current,
                                      wide_path) < 0) {
        log_message(LOG_ERROR, "check_dir", "Directory name '%s' is too long", path);
        r = UDI_ERR_BAD_ARGUMENT;
    } else {
        *result = SHCreateDirectoryExW(NULL, absolute, attributes);
    }
    free(absolute);
    return r;
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
        r = create_below_current_folder(path, wide_path, attributes, &created);
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

/* Files created owned by the current user, handed out as standard I/O streams. */
FILE *fopen_as_userU(const char *path, const char *mode)
{
    user_owned_security security = { 0 };
    SECURITY_ATTRIBUTES *attributes;
    DWORD access = 0;
    DWORD disposition = CREATE_ALWAYS;
    wchar_t *wide_path = NULL;
    HANDLE handle;
    const char *letter;
    int descriptor;
    FILE *stream = NULL;
    DWORD error = ERROR_SUCCESS;

    if (path == NULL || mode == NULL || mode[0] == '\0')
        return NULL;
    for (letter = mode; *letter != '\0'; letter++) {
        if (*letter == 'r')
            access |= GENERIC_READ;
        else if (*letter == 'w')
            access |= GENERIC_WRITE;
        else if (*letter == 'x')
            disposition = CREATE_NEW;
    }
    if (!(access & GENERIC_WRITE))
        return NULL;

    wide_path = utf8_to_wide(path);
    if (wide_path == NULL)
        return NULL;

    attributes = user_owned_security_init(&security, "fopen_as_userU");
    handle = CreateFileW(wide_path, access, FILE_SHARE_READ, attributes, disposition, 0, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        goto out;
    }

    /* Always binary: the library writes driver binaries and UTF-16 text
       through these streams, and a text-mode stream would turn every
       0x0A byte into 0x0D 0x0A. The C library's descriptors and streams
       run out before the system's handles do. */
    descriptor = _open_osfhandle((intptr_t)handle,
                                 ((access & GENERIC_READ) ? _O_RDWR : _O_WRONLY) | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        error = ERROR_TOO_MANY_OPEN_FILES;
        goto out;
    }
    stream = _fdopen(descriptor, (access & GENERIC_READ) ? "w+b" : "wb");
    if (stream == NULL) {
        _close(descriptor);
        error = ERROR_TOO_MANY_OPEN_FILES;
    }

out:
    user_owned_security_free(&security);
    free(wide_path);
    /* The caller's log line names why the file could not be had. */
    if (stream == NULL)
        SetLastError(error);
    return stream;
}
