#include "tools/ProcessRunner.h"
#include "tools/ToolLog.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace
{
    using Clock = std::chrono::steady_clock;

    // The framework's read waits until it has all the bytes it asked for or
    // the tool has ended, so a tool that hangs after a few lines would hold a
    // read for ever. This guard kills the tool when the run limit is reached
    // during such a read; the read then returns with what it has taken.
    class KillAtDeadline
    {
    public:
        KillAtDeadline (juce::ChildProcess& processToKill, Clock::time_point deadlineToKeep)
            : process (processToKill), deadline (deadlineToKeep), guard ([this] { watch(); })
        {
        }

        ~KillAtDeadline()
        {
            {
                const std::lock_guard<std::mutex> lock (mutex);
                runOver = true;
            }
            wakeUp.notify_one();
            guard.join();
        }

    private:
        void watch()
        {
            std::unique_lock<std::mutex> lock (mutex);

            if (! wakeUp.wait_until (lock, deadline, [this] { return runOver; }))
                process.kill();
        }

        juce::ChildProcess& process;
        const Clock::time_point deadline;
        std::mutex mutex;
        std::condition_variable wakeUp;
        bool runOver = false;
        std::thread guard;

        JUCE_DECLARE_NON_COPYABLE (KillAtDeadline)
    };

    // Bytes 0x80 to 0xFF become U+0080 to U+00FF: the output is not UTF-8.
    juce::String textFromBytes (const char* bytes, size_t count)
    {
        juce::HeapBlock<juce::juce_wchar> characters (count + 1, true);

        for (size_t i = 0; i < count; ++i)
            characters[i] = (juce::juce_wchar) (unsigned char) bytes[i];

        return juce::String (juce::CharPointer_UTF32 (characters.get()));
    }
}

ProcessResult runProcess (const juce::StringArray& args)
{
    auto log = openLog();
    log << args.joinIntoString (" ").toStdString() << '\n';

    juce::ChildProcess process;

    if (! process.start (args))
        return {};

    // One extra byte stays zero after the last byte read: the end mark.
    juce::HeapBlock<char> capture ((size_t) toolrun::captureLimit + 1, true);
    int bytesRead = 0;

    const auto started = Clock::now();
    const auto deadline = started + std::chrono::milliseconds (toolrun::runLimitMs);

    {
        // Only a read while the tool still runs can wait, so the guard and
        // its thread are made for the first such read. A tool that has ended
        // by then, the common case, is read at once without them: under Wine
        // a thread's start and end cost a run tens of milliseconds on a busy
        // machine.
        std::optional<KillAtDeadline> guard;

        while (process.isRunning() && Clock::now() < deadline)
        {
            juce::Thread::sleep (toolrun::readPauseMs);

            if (! guard.has_value() && process.isRunning())
                guard.emplace (process, deadline);

            bytesRead += process.readProcessOutput (capture.get() + bytesRead,
                                                    toolrun::captureLimit - bytesRead);
        }
    }

    if (process.isRunning())
        process.kill();

    // A tool that ended before the loop's first look never had its output
    // read: on a busy machine a quick tool can start, write and end before
    // this thread runs again. What it left in the pipe is taken now.
    bytesRead += process.readProcessOutput (capture.get() + bytesRead, toolrun::captureLimit - bytesRead);

    const auto textLength = std::strlen (capture.get());
    log.write (capture.get(), (std::streamsize) textLength);
    log << '\n' << "====================" << '\n' << '\n';
    log.flush();

    return { textFromBytes (capture.get(), textLength), (int) process.getExitCode() };
}

bool runAndExpect (const juce::StringArray& args, juce::StringRef expected, int retries)
{
    for (int attempt = 0; attempt <= retries; ++attempt)
    {
        const auto result = runProcess (args);

        if (expected.isEmpty() || result.output.contains (expected))
            return true;

        juce::Thread::sleep (toolrun::missPauseMs);
    }

    return false;
}
