#include "app/ParentConsole.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

// The console goes onto a stream that had no handle at start by setting the
// stream's own descriptor (below), which only msvcrt's stream record lets a
// program do; msvcrt is mingw-w64's default runtime and the one this program
// is built with. ucrt keeps that record to itself: the stream would stay on
// its -2 and the driver library's lines would be lost without a word wherever
// freopen refuses such a stream, as Wine's runtime does.
#ifdef _UCRT
 #error "ParentConsole.cpp needs msvcrt: ucrt hides the stream record that the console's fallback sets"
#endif

namespace
{
    // A file, a pipe, or a character device other than a console (NUL): the
    // user sent the stream there, and it stays there.
    bool isRedirected (DWORD which)
    {
        const auto handle = GetStdHandle (which);

        if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
            return false;

        DWORD consoleMode = 0;

        switch (GetFileType (handle))
        {
            case FILE_TYPE_DISK:
            case FILE_TYPE_PIPE:
                return true;
            case FILE_TYPE_CHAR:
                return GetConsoleMode (handle, &consoleMode) == 0;
            default:
                return false;
        }
    }

    // The console is joined only to show the driver library's lines; what
    // the console does to the programs in it must not end an update. Ctrl+C
    // and Ctrl+Break are meant for the console's own program. Windows ends
    // the programs still in a console that closes (or through which a
    // logoff or shutdown is told) some seconds after the event, whatever
    // the handler answers: the updater lets go of the console first, so as
    // not to be among them, and its window goes on. Its streams then write
    // nowhere.
    BOOL WINAPI onConsoleEvent (DWORD event)
    {
        switch (event)
        {
            case CTRL_C_EVENT:
            case CTRL_BREAK_EVENT:
                return TRUE;
            case CTRL_CLOSE_EVENT:
            case CTRL_LOGOFF_EVENT:
            case CTRL_SHUTDOWN_EVENT:
                FreeConsole();
                return TRUE;
            default:
                return FALSE;
        }
    }

    void pointAtConsole (FILE* stream, int descriptor)
    {
        if (std::freopen ("CONOUT$", "w", stream) != nullptr)
            return;

        // msvcrt leaves a stream that had no handle at start with the
        // descriptor -2, and Wine's msvcrt reopens no such stream (Windows'
        // does). The console then goes in under the stream's own number and
        // the stream is pointed at it.
        const auto console = _open ("CONOUT$", _O_WRONLY | _O_TEXT);

        if (console < 0)
            return;

        const auto duplicated = _dup2 (console, descriptor) == 0;
        _close (console);

        if (duplicated)
            stream->_file = descriptor;
    }
}

void ParentConsole::attach()
{
    // Decided before the attach, which may hand the process the console's
    // handles as its standard ones.
    const auto outputRedirected = isRedirected (STD_OUTPUT_HANDLE);
    const auto errorRedirected = isRedirected (STD_ERROR_HANDLE);

    // Nothing would go to the console, and a console's events would only
    // put the program at risk.
    if (outputRedirected && errorRedirected)
        return;

    if (AttachConsole (ATTACH_PARENT_PROCESS) == 0)
        return;

    // Unguarded, the first Ctrl+C in the console would end the program.
    if (SetConsoleCtrlHandler (onConsoleEvent, TRUE) == 0)
    {
        FreeConsole();
        return;
    }

    if (! outputRedirected)
        pointAtConsole (stdout, 1);

    if (! errorRedirected)
        pointAtConsole (stderr, 2);
}
