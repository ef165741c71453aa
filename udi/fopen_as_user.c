/* Files created owned by the current user, handed out as standard I/O streams. */
#include "user_files.h"

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include "text.h"
#include "user_owned_security.h"

FILE *fopen_as_userU(const char *path, const char *mode)
{
    user_owned_security security = { 0 };
    SECURITY_ATTRIBUTES *attributes;
    DWORD access = 0;
    wchar_t *wide_path = NULL;
    HANDLE handle;
    const char *letter;
    int descriptor;
    FILE *stream = NULL;

    if (path == NULL || mode == NULL || mode[0] == '\0')
        return NULL;
    for (letter = mode; *letter != '\0'; letter++) {
        if (*letter == 'r')
            access |= GENERIC_READ;
        else if (*letter == 'w')
            access |= GENERIC_WRITE;
    }
    if (!(access & GENERIC_WRITE))
        return NULL;

    wide_path = utf8_to_wide(path);
    if (wide_path == NULL)
        return NULL;

    attributes = user_owned_security_init(&security, "fopen_as_userU");
    handle = CreateFileW(wide_path, access, FILE_SHARE_READ, attributes, CREATE_ALWAYS, 0, NULL);
    user_owned_security_free(&security);
    free(wide_path);
    if (handle == INVALID_HANDLE_VALUE)
        return NULL;

    /* Always binary: the library writes driver binaries and UTF-16 text
       through these streams, and a text-mode stream would turn every
       0x0A byte into 0x0D 0x0A. */
    descriptor = _open_osfhandle((intptr_t)handle,
                                 ((access & GENERIC_READ) ? _O_RDWR : _O_WRONLY) | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return NULL;
    }
    stream = _fdopen(descriptor, (access & GENERIC_READ) ? "w+b" : "wb");
    if (stream == NULL)
        _close(descriptor);
    return stream;
}
