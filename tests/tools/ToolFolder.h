#pragma once

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

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
