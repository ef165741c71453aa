#include "tools/ToolLog.h"

#include <juce_core/juce_core.h>

#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace
{
    // A stream that owns the file it writes to, and closes it when it goes.
    class LogFileStream : public std::ostream
    {
    public:
        explicit LogFileStream (int descriptor)
            : std::ostream (nullptr), file (descriptor, std::ios::out | std::ios::app)
        {
            rdbuf (&file);
        }

    private:
        __gnu_cxx::stdio_filebuf<char> file;
    };
}

std::unique_ptr<std::ostream> openLog()
{
    // Without a Documents folder the base is the empty path, and the log
    // folder ends up at the root of the current drive.
    const auto documents = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    const auto folder = documents.getChildFile ("Ornvale");

    // A file of that name is left alone: the open below then fails.
    if (! folder.exists())
        folder.createDirectory();

    const auto logFile = folder.getChildFile ("kelvane_updater.log");

    // Not inheritable: every tool is started with the program's inheritable
    // handles, and one that outlives its run would keep the user's log open.
    // Text mode on purpose: every line feed is stored as CR LF. The wide path
    // keeps user names outside the ANSI code page working.
    const auto descriptor = _wopen (logFile.getFullPathName().toWideCharPointer(),
                                    _O_WRONLY | _O_CREAT | _O_APPEND | _O_TEXT | _O_NOINHERIT,
                                    _S_IREAD | _S_IWRITE);

    if (descriptor < 0)
        return std::make_unique<std::ostream> (nullptr);

    return std::make_unique<LogFileStream> (descriptor);
}
