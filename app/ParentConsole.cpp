#include "app/ParentConsole.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

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

       #ifndef _UCRT
        if (duplicated)
            stream->_file = descriptor;
       #endif
    }
}

void ParentConsole::attach()
{
    // Decided before the attach, which may hand the process the console's
    // handles as its standard ones.
    const auto outputRedirected = isRedirected (STD_OUTPUT_HANDLE);
    const auto errorRedirected = isRedirected (STD_ERROR_HANDLE);

    if (AttachConsole (ATTACH_PARENT_PROCESS) == 0)
        return;

    if (! outputRedirected)
        pointAtConsole (stdout, 1);

    if (! errorRedirected)
        pointAtConsole (stderr, 2);
}
