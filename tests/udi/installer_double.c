/*
 * A scripted stand-in for the package's installer program, for the tests of
 * the library's side of the pipe. Placed as installer_x64.exe in a package
 * folder, it is started as the real one is: with one argument, which names
 * its script (a file in its working folder), one command a line:
 *
 *   connect              open the library's pipe (waits up to ten seconds)
 *   send TYPE            a message of that type byte without payload
 *   send TYPE text:ABC   ... with the bytes of the rest of the line
 *   send TYPE hex:FD00   ... with these bytes
 *   send TYPE fill:N     ... with N bytes 'x'
 *   empty                a message of no bytes at all
 *   ask TYPE             a request, then read one reply
 *   sleep MS
 *   close                close its end of the pipe
 *   exit CODE            end with that exit code (the script's end: 0)
 *
 * What it saw goes to "double.log" beside the script, one line each: its
 * argument count and argument, its working folder, every reply as hex
 * ("reply 2 5553...") and every failure of a command.
 */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define PIPE_NAME "\\\\.\\pipe\\libudi-installer"
#define MAX_MESSAGE 70000

static HANDLE pipe_end = INVALID_HANDLE_VALUE;
static FILE *report;

static void note(const char *format, ...)
{
    va_list arguments;

    va_start(arguments, format);
    vfprintf(report, format, arguments);
    va_end(arguments);
    fputc('\n', report);
    fflush(report);
}

static int connect_pipe(void)
{
    DWORD mode = PIPE_READMODE_MESSAGE;
    int tries;

    for (tries = 0; tries < 100; tries++) {
        pipe_end = CreateFileA(PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               0, NULL);
        if (pipe_end != INVALID_HANDLE_VALUE) {
            SetNamedPipeHandleState(pipe_end, &mode, NULL, NULL);
            return 1;
        }
        Sleep(100);
    }
    note("connect failed %lu", GetLastError());
    return 0;
}

static size_t hex_bytes(const char *hex, unsigned char *out)
{
    size_t n = 0;
    unsigned value;

    while (hex[0] != '\0' && hex[1] != '\0' && sscanf(hex, "%2x", &value) == 1) {
        out[n++] = (unsigned char)value;
        hex += 2;
    }
    return n;
}

static void send_message(int type, const char *payload)
{
    static unsigned char message[MAX_MESSAGE];
    size_t length = 1;
    DWORD written = 0;

    message[0] = (unsigned char)type;
    if (strncmp(payload, "text:", 5) == 0) {
        length += strlen(payload + 5);
        memcpy(message + 1, payload + 5, length - 1);
    } else if (strncmp(payload, "hex:", 4) == 0) {
        length += hex_bytes(payload + 4, message + 1);
    } else if (strncmp(payload, "fill:", 5) == 0) {
        size_t count = strtoul(payload + 5, NULL, 10);
        if (count > MAX_MESSAGE - 1)
            count = MAX_MESSAGE - 1;
        memset(message + 1, 'x', count);
        length += count;
    }
    if (!WriteFile(pipe_end, message, (DWORD)length, &written, NULL))
        note("send failed %lu", GetLastError());
}

static void ask(int type)
{
    unsigned char reply[1024];
    char hex[2 * sizeof(reply) + 1];
    DWORD got = 0;
    DWORD i;

    send_message(type, "");
    if (!ReadFile(pipe_end, reply, sizeof(reply), &got, NULL)) {
        note("reply failed %lu", GetLastError());
        return;
    }
    for (i = 0; i < got; i++)
        sprintf(hex + 2 * i, "%02X", reply[i]);
    hex[2 * got] = '\0';
    note("reply %d %s", type, hex);
}

int main(int argc, char **argv)
{
    char line[1024];
    char folder[MAX_PATH];
    FILE *script;
    int number;

    report = fopen("double.log", "wb");
    if (report == NULL)
        return 90;
    note("argc %d", argc);
    note("arg %s", argc > 1 ? argv[1] : "");
    GetCurrentDirectoryA(sizeof(folder), folder);
    note("cwd %s", folder);

    script = argc == 2 ? fopen(argv[1], "r") : NULL;
    if (script == NULL)
        return 91;
    while (fgets(line, sizeof(line), script) != NULL) {
        char payload[1024] = "";

        line[strcspn(line, "\r\n")] = '\0';
        if (strcmp(line, "connect") == 0) {
            if (!connect_pipe())
                return 92;
        } else if (sscanf(line, "send %d %1023s", &number, payload) >= 1) {
            /* A text runs to the end of the line, spaces and all. */
            const char *text = strstr(line, "text:");
            send_message(number, text != NULL ? text : payload);
        } else if (strcmp(line, "empty") == 0) {
            DWORD written;
            if (!WriteFile(pipe_end, "", 0, &written, NULL))
                note("send failed %lu", GetLastError());
        } else if (sscanf(line, "ask %d", &number) == 1) {
            ask(number);
        } else if (sscanf(line, "sleep %d", &number) == 1) {
            Sleep((DWORD)number);
        } else if (strcmp(line, "close") == 0) {
            CloseHandle(pipe_end);
            pipe_end = INVALID_HANDLE_VALUE;
        } else if (sscanf(line, "exit %d", &number) == 1) {
            return number;
        }
    }
    return 0;
}
