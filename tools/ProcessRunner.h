#pragma once

#include <juce_core/juce_core.h>

#include <functional>

// How one tool run ended. The output is what the tool wrote to standard
// output and standard error through their one shared pipe, at most 64 KiB,
// cut at the first zero byte, each byte taken as the character of that number.
struct ProcessResult
{
    juce::String output;
    int exitCode = -1; // -1: the tool was not started
};

namespace toolrun
{
    constexpr int captureLimit = 65536;
    constexpr int readPauseMs = 500;
    constexpr int runLimitMs = 120000;
    constexpr int missPauseMs = 500;

    // How a run starts its helpers, the deadline guard and the reader: each
    // on a thread of its own that nobody joins. Throws std::system_error, as
    // std::thread does, when no thread can be started. The program's runs
    // use startDetachedThread; the tests give one that fails.
    using ThreadStart = std::function<void (std::function<void()> work)>;

    void startDetachedThread (std::function<void()> work);
}

// Runs args[0] with the rest as its arguments, captures its output, kills it
// when it is still running after two minutes and appends one record to the
// log. Blocks the calling (worker) thread for at least half a second. A run
// that cannot start its helpers ends as one whose tool cannot start, with its
// tool killed.
ProcessResult runProcess (const juce::StringArray& args,
                          const toolrun::ThreadStart& startThread = toolrun::startDetachedThread);

// Runs the tool up to retries + 1 times until one run's output contains
// `expected` (case-sensitive; an empty text is always found). The exit code
// decides nothing. After every run that misses, it pauses half a second.
bool runAndExpect (const juce::StringArray& args, juce::StringRef expected, int retries);
