#include "tools/ToolLog.h"

#include <juce_core/juce_core.h>

#include <filesystem>

std::ofstream openLog()
{
    // Without a Documents folder the base is the empty path, and the log
    // folder ends up at the root of the current drive.
    const auto documents = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    const auto folder = documents.getChildFile ("Ornvale");

    // A file of that name is left alone: the open below then fails.
    if (! folder.exists())
        folder.createDirectory();

    const auto logFile = folder.getChildFile ("kelvane_updater.log");

    // Text mode on purpose: every line feed is stored as CR LF. The wide path
    // keeps user names outside the ANSI code page working.
    return std::ofstream (std::filesystem::path (logFile.getFullPathName().toWideCharPointer()),
                          std::ios::out | std::ios::app);
}
