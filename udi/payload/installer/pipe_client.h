/*
 * The client end of the library's pipe. Every wait on it is bounded: the
 * installer runs hidden and elevated, and nothing may keep it alive when the
 * other end stops answering.
 */
#ifndef INSTALLER_PIPE_CLIENT_H
#define INSTALLER_PIPE_CLIENT_H

#include <stddef.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LIBRARY_PIPE_NAME L"\\\\.\\pipe\\libudi-installer"

/* How long the pipe may take to appear, and one read or write to complete. */
#define PIPE_CONNECT_WAIT_MS 10000
#define PIPE_IO_WAIT_MS 10000

typedef struct pipe_client {
    HANDLE pipe;     /* INVALID_HANDLE_VALUE when not connected */
    HANDLE event;    /* completion of the one overlapped operation at a time */
    int broken;      /* a read or write failed: nothing more goes through */
    DWORD error;     /* the Windows error that broke it */
} pipe_client;

/* Opens the pipe in message read mode, waiting at most wait_ms for it. 0 or a Windows error. */
DWORD pipe_connect(pipe_client *client, const wchar_t *name, DWORD wait_ms);

/* Writes one message: the type byte, then the payload. 0 or a Windows error. */
DWORD pipe_send(pipe_client *client, unsigned char type, const void *payload, size_t length);

/*
 * Writes a request without payload and reads the one reply message into
 * reply (size bytes). A reply longer than that is ERROR_MORE_DATA.
 */
DWORD pipe_request(pipe_client *client, unsigned char type, unsigned char *reply, size_t size,
                   size_t *length);

void pipe_close(pipe_client *client);

#ifdef __cplusplus
}
#endif

#endif
