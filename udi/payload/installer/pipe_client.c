#include "pipe_client.h"

#include <string.h>

/* The longest message written: a type byte and a text well below this. */
#define PIPE_MESSAGE_MAX 4096

static ULONGLONG min_wait(ULONGLONG remaining, ULONGLONG step)
{
    return remaining < step ? remaining : step;
}

DWORD pipe_connect(pipe_client *client, const wchar_t *name, DWORD wait_ms)
{
    const ULONGLONG deadline = GetTickCount64() + wait_ms;
    DWORD mode = PIPE_READMODE_MESSAGE;
    DWORD error;
    ULONGLONG now;

    client->pipe = INVALID_HANDLE_VALUE;
    client->broken = 0;
    client->error = ERROR_SUCCESS;
    client->event = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (client->event == NULL)
        return GetLastError();

    for (;;) {
        /* Identification only: whoever serves the pipe must not act with
           this elevated process's rights. */
        client->pipe = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT
                                       | SECURITY_IDENTIFICATION,
                                   NULL);
        if (client->pipe != INVALID_HANDLE_VALUE)
            break;
        error = GetLastError();
        now = GetTickCount64();
        /* Not made yet, or its one instance still taken: both may pass. */
        if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) || now >= deadline)
            goto failed;
        if (error == ERROR_PIPE_BUSY)
            WaitNamedPipeW(name, (DWORD)min_wait(deadline - now, 100));
        else
            Sleep((DWORD)min_wait(deadline - now, 100));
    }

    if (!SetNamedPipeHandleState(client->pipe, &mode, NULL, NULL)) {
        error = GetLastError();
        goto failed;
    }
    return ERROR_SUCCESS;

failed:
    pipe_close(client);
    return error;
}

/* Ends one overlapped read or write that `started` began, within PIPE_IO_WAIT_MS. */
static DWORD finish_io(pipe_client *client, OVERLAPPED *overlapped, BOOL started,
                       DWORD *transferred)
{
    DWORD error = started ? ERROR_SUCCESS : GetLastError();

    *transferred = 0;
    if (error == ERROR_IO_PENDING) {
        if (WaitForSingleObject(client->event, PIPE_IO_WAIT_MS) != WAIT_OBJECT_0) {
            CancelIo(client->pipe);
            /* The buffers stay in use until the cancelled operation is done. */
            GetOverlappedResult(client->pipe, overlapped, transferred, TRUE);
            return ERROR_TIMEOUT;
        }
    } else if (error != ERROR_SUCCESS) {
        return error;
    }
    if (!GetOverlappedResult(client->pipe, overlapped, transferred, FALSE))
        return GetLastError();
    return ERROR_SUCCESS;
}

static DWORD broken_by(pipe_client *client, DWORD error)
{
    client->broken = 1;
    client->error = error;
    return error;
}

DWORD pipe_send(pipe_client *client, unsigned char type, const void *payload, size_t length)
{
    unsigned char message[PIPE_MESSAGE_MAX];
    OVERLAPPED overlapped;
    DWORD written;
    DWORD error;
    BOOL started;

    if (client->pipe == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    if (client->broken)
        return client->error;
    if (length > sizeof(message) - 1 || (length > 0 && payload == NULL))
        return ERROR_INVALID_PARAMETER;

    message[0] = type;
    if (length > 0)
        memcpy(message + 1, payload, length);
    memset(&overlapped, 0, sizeof(overlapped));
    overlapped.hEvent = client->event;
    started = WriteFile(client->pipe, message, (DWORD)(length + 1), NULL, &overlapped);
    error = finish_io(client, &overlapped, started, &written);
    if (error == ERROR_SUCCESS && written != length + 1)
        error = ERROR_WRITE_FAULT;
    return error == ERROR_SUCCESS ? ERROR_SUCCESS : broken_by(client, error);
}

DWORD pipe_request(pipe_client *client, unsigned char type, unsigned char *reply, size_t size,
                   size_t *length)
{
    OVERLAPPED overlapped;
    DWORD got;
    DWORD error;
    BOOL started;

    *length = 0;
    error = pipe_send(client, type, NULL, 0);
    if (error != ERROR_SUCCESS)
        return error;

    memset(&overlapped, 0, sizeof(overlapped));
    overlapped.hEvent = client->event;
    started = ReadFile(client->pipe, reply, (DWORD)size, NULL, &overlapped);
    error = finish_io(client, &overlapped, started, &got);
    /* A reply longer than any id: the rest of it is never read, but the
       pipe still carries the status that says so. */
    if (error == ERROR_MORE_DATA)
        return error;
    if (error != ERROR_SUCCESS)
        return broken_by(client, error);
    *length = got;
    return ERROR_SUCCESS;
}

void pipe_close(pipe_client *client)
{
    if (client->pipe != INVALID_HANDLE_VALUE)
        CloseHandle(client->pipe);
    if (client->event != NULL)
        CloseHandle(client->event);
    client->pipe = INVALID_HANDLE_VALUE;
    client->event = NULL;
}
