/*
 * A stand-in for dfu-util and esptool in the tests: a console program that
 * does what the script named by KELVANE_FAKE_TOOL_SCRIPT says, one command a
 * line, and nothing else. Output goes out unbuffered and untranslated, so a
 * test sees exactly the bytes and the order it asked for.
 *
 *   out TEXT     write TEXT to standard output (\n \r \t \\ \xHH escapes)
 *   err TEXT     the same to standard error
 *   fill N HH    write N bytes of the hexadecimal value HH to standard output
 *   sleep MS     pause MS milliseconds
 *   wait FILE    pause until FILE exists, a minute at most: the test makes
 *                it once it has seen what this run's page shows, so the run
 *                lasts as long as the test looks and no longer
 *   hang         never end
 *   crash        write through a null pointer: the system ends the tool
 *   args FILE    append this run's arguments to FILE, one a line, then "--"
 *   on N TEXT    write TEXT as "out" does, but only in the script's N-th run
 *                (runs are counted from 1 in the file SCRIPT.runs beside the
 *                script; a test removes it to count afresh)
 *   linger MS    leave a copy of the tool behind that waits MS milliseconds
 *                with this run's inheritable handles, as a tool's own helper
 *                would, and write "lingering PID" to standard output
 *   exit CODE    end now with CODE
 *
 * Without a script it prints one line and ends with 0.
 */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Decodes the escapes of TEXT in place; returns the byte count. */
static size_t unescape(char *text)
{
    char *in = text, *out = text;

    while (*in != '\0') {
        if (*in != '\\' || in[1] == '\0') {
            *out++ = *in++;
            continue;
        }
        in++;
        switch (*in) {
        case 'n': *out++ = '\n'; in++; break;
        case 'r': *out++ = '\r'; in++; break;
        case 't': *out++ = '\t'; in++; break;
        case 'x':
            if (hex_digit(in[1]) >= 0 && hex_digit(in[2]) >= 0) {
                *out++ = (char)(hex_digit(in[1]) * 16 + hex_digit(in[2]));
                in += 3;
                break;
            }
            /* fall through */
        default: *out++ = *in++; break;
        }
    }
    return (size_t)(out - text);
}

static void record_args(const char *path, int argc, char **argv)
{
    FILE *file = fopen(path, "ab");
    int i;

    if (file == NULL)
        return;
    for (i = 0; i < argc; i++)
        fprintf(file, "%s\n", argv[i]);
    fputs("--\n", file);
    fclose(file);
}

static void fill(FILE *stream, long count, int value)
{
    char block[4096];
    memset(block, value, sizeof(block));

    while (count > 0) {
        size_t n = count < (long)sizeof(block) ? (size_t)count : sizeof(block);
        fwrite(block, 1, n, stream);
        count -= (long)n;
    }
}

/* Counts this run in SCRIPT.runs and returns its number, from 1. */
static long count_run(const char *script_path)
{
    char path[MAX_PATH + 8];
    long runs = 0;
    FILE *file;

    snprintf(path, sizeof(path), "%s.runs", script_path);
    file = fopen(path, "rb");
    if (file != NULL) {
        if (fscanf(file, "%ld", &runs) != 1)
            runs = 0;
        fclose(file);
    }
    runs++;
    file = fopen(path, "wb");
    if (file != NULL) {
        fprintf(file, "%ld\n", runs);
        fclose(file);
    }
    return runs;
}

static void wait_for(const char *path)
{
    int waited;

    for (waited = 0; waited < 60000 && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES; waited += 5)
        Sleep(5);
}

static void linger(const char *milliseconds)
{
    char self[MAX_PATH];
    char command[MAX_PATH + 64];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;

    if (GetModuleFileNameA(NULL, self, sizeof(self)) == 0)
        return;
    snprintf(command, sizeof(command), "\"%s\" --linger %ld", self, atol(milliseconds));
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(self, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return;
    printf("lingering %lu\n", (unsigned long)process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

int main(int argc, char **argv)
{
    const char *script_path = getenv("KELVANE_FAKE_TOOL_SCRIPT");
    char line[8192];
    FILE *script;
    long run = 0;

    /* The copy that "linger" leaves behind only waits. */
    if (argc == 3 && strcmp(argv[1], "--linger") == 0) {
        Sleep((DWORD)atol(argv[2]));
        return 0;
    }

    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    setvbuf(stdout, NULL, _IONBF, 0);
    setvbuf(stderr, NULL, _IONBF, 0);

    if (script_path == NULL || (script = fopen(script_path, "rb")) == NULL) {
        printf("fake tool: no script\n");
        return 0;
    }

    while (fgets(line, sizeof(line), script) != NULL) {
        char *arg;
        line[strcspn(line, "\r\n")] = '\0';
        arg = strchr(line, ' ');
        if (arg != NULL)
            *arg++ = '\0';
        else
            arg = line + strlen(line);

        if (strcmp(line, "out") == 0 || strcmp(line, "err") == 0) {
            size_t n = unescape(arg);
            fwrite(arg, 1, n, line[0] == 'o' ? stdout : stderr);
        } else if (strcmp(line, "fill") == 0) {
            long count = 0;
            unsigned value = 0;
            if (sscanf(arg, "%ld %x", &count, &value) == 2)
                fill(stdout, count, (int)value);
        } else if (strcmp(line, "sleep") == 0) {
            Sleep((DWORD)atol(arg));
        } else if (strcmp(line, "wait") == 0) {
            wait_for(arg);
        } else if (strcmp(line, "hang") == 0) {
            for (;;)
                Sleep(1000);
        } else if (strcmp(line, "crash") == 0) {
            *(volatile int *)NULL = 1;
        } else if (strcmp(line, "on") == 0) {
            char *text = strchr(arg, ' ');
            if (run == 0)
                run = count_run(script_path);
            if (text != NULL && atol(arg) == run) {
                size_t n = unescape(text + 1);
                fwrite(text + 1, 1, n, stdout);
            }
        } else if (strcmp(line, "linger") == 0) {
            linger(arg);
        } else if (strcmp(line, "args") == 0) {
            record_args(arg, argc, argv);
        } else if (strcmp(line, "exit") == 0) {
            fclose(script);
            return atoi(arg);
        }
    }

    fclose(script);
    return 0;
}
