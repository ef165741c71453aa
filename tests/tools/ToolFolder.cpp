#include "ToolFolder.h"

#include <windows.h>

#include <chrono>

void ToolFolderTest::SetUp()
{
    // Each test reads back only its own records.
    ASSERT_TRUE (logFile().deleteFile()) << "the log of an earlier test is still open";
    SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", nullptr);
}

void ToolFolderTest::TearDown()
{
    SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", nullptr);
    runCount().deleteFile();
}

juce::File ToolFolderTest::runCount() const
{
    return scriptFile.getFile().getSiblingFile (scriptFile.getFile().getFileName() + ".runs");
}

void ToolFolderTest::setToolScript (const juce::StringArray& lines)
{
    juce::StringArray script;
    script.add ("args " + argsFile().getFullPathName());
    script.addArray (lines);
    ASSERT_TRUE (scriptFile.getFile().replaceWithText (script.joinIntoString ("\n") + "\n"));
    ASSERT_TRUE (runCount().deleteFile()); // a new script counts its runs afresh
    SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", scriptFile.getFile().getFullPathName().toWideCharPointer());
}

std::vector<juce::StringArray> ToolFolderTest::recordedRuns() const
{
    std::vector<juce::StringArray> runs;
    juce::StringArray current;
    juce::StringArray lines;
    lines.addLines (argsFile().loadFileAsString());

    for (const auto& line : lines)
    {
        if (line == "--")
        {
            runs.push_back (current);
            current.clear();
        }
        else
        {
            current.add (line);
        }
    }

    return runs;
}

juce::File ToolFolderTest::logFile()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile ("Ornvale")
        .getChildFile ("kelvane_updater.log");
}

std::string ToolFolderTest::logBytes()
{
    juce::MemoryBlock bytes;
    logFile().loadFileAsData (bytes);
    return bytes.getSize() == 0 ? std::string() : std::string ((const char*) bytes.getData(), bytes.getSize());
}

double ToolFolderTest::msSinceTheLastRecord()
{
    const auto now = juce::Time::getCurrentTime();
    return (double) (now - logFile().getLastModificationTime()).inMilliseconds();
}

juce::File ToolFolderTest::folder()
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
}

juce::File ToolFolderTest::argsFile() const
{
    return argsRecord.getFile();
}

double millisecondsOf (const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count();
}
