#pragma once

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <ostream>
#include <string>
#include <vector>

// What the tool tests share: the fake tools beside the test program, the
// script they follow, the record of the arguments they got, and the log.
class ToolFolderTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The fake tools follow these lines (see tests/doubles/fake_tool.c). An
    // "args" line recording into argsFile() is added first.
    void setToolScript (const juce::StringArray& lines);

    // One entry per run of a fake tool: the arguments it was given.
    std::vector<juce::StringArray> recordedRuns() const;

    static juce::File logFile();
    static std::string logBytes();

    // Milliseconds from the log's last write until now. A run writes the
    // end of its record as it ends, so, taken as the runner returns, this is
    // the time it went on after its last run: a pause, or next to none.
    static double msSinceTheLastRecord();

    static juce::File folder(); // the test program's folder
    juce::File argsFile() const;

private:
    juce::File runCount() const; // where the fake tools count the script's runs

    juce::TemporaryFile scriptFile { ".txt" };
    juce::TemporaryFile argsRecord { ".txt" };
};

// Milliseconds that `work` took.
double millisecondsOf (const std::function<void()>& work);

// The test program's folder as the system names the running program, with
// a backslash at its end: read apart from the framework's, which the
// program's own texts are built from.
juce::String programFolder();

// The four command lines that the tools must get, written out in full with
// programFolder() where the program puts its own folder.
juce::StringArray mcuDetectionLine();
juce::StringArray mcuDownloadLine();
juce::StringArray wirelessDetectionLine();
juce::StringArray wirelessFlashingLine();

namespace juce
{
    // A command line in a failure message: each argument in quotes.
    inline void PrintTo (const StringArray& args, std::ostream* out)
    {
        for (int i = 0; i < args.size(); ++i)
            *out << (i > 0 ? " \"" : "\"") << args[i].toStdString() << "\"";
    }
}
