#include "ToolFolder.h"

#include <windows.h>

#include <chrono>
#include <iterator>

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

juce::String programFolder()
{
    wchar_t path[4096] = {};
    const auto length = GetModuleFileNameW (nullptr, path, (DWORD) std::size (path));
    return juce::String (path, (size_t) length).upToLastOccurrenceOf ("\\", true, false);
}

juce::StringArray mcuDetectionLine()
{
    return { programFolder() + "dfu-util.exe", "-l" };
}

juce::StringArray mcuDownloadLine()
{
    return { programFolder() + "dfu-util.exe",
             "-s",
             "0x90000000:leave:mass-erase:force",
             "-d",
             "6e3c:0222",
             "-D",
             programFolder() + "Images\\kelvane-fw.bin" };
}

juce::StringArray wirelessDetectionLine()
{
    return { programFolder() + "esptool.exe", "--connect-attempts", "8", "read_mac" };
}

juce::StringArray wirelessFlashingLine()
{
    const auto images = programFolder() + "Images\\ESP32bin\\";
    return { programFolder() + "esptool.exe",
             "--connect-attempts", "8", "-b", "460800",
             "--before", "default_reset", "--after", "hard_reset", "--chip", "esp32s3",
             "write_flash", "--flash_mode", "dio", "--flash_freq", "80m", "--flash_size", "4MB",
             "0x0", images + "bootloader.bin",
             "0x8000", images + "partition-table.bin",
             "0xd000", images + "ota_data_initial.bin",
             "0x10000", images + "esp32-fw.bin" };
}
