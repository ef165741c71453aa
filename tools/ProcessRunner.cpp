#include "tools/ProcessRunner.h"
#include "tools/ToolLog.h"

#include <chrono>
#include <condition_variable>
#include <memory>
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
    //
    // The engine stops a worker that is still in a task after 100 ms by
    // force, and a run's frame then never unwinds: the guard's thread must
    // not depend on it. It is detached, and the tool's process and the
    // guard's state are shared with it, so everything it touches lives for
    // as long as it does.
    class KillAtDeadline
    {
    public:
        KillAtDeadline (std::shared_ptr<juce::ChildProcess> processToKill, Clock::time_point deadline)
            : shared (std::make_shared<Shared>())
        {
            std::thread ([process = std::move (processToKill), shared = shared, deadline] {
                std::unique_lock<std::mutex> lock (shared->mutex);

                // Killed under the lock: once the run is over, the guard
                // touches the process no more.
                if (! shared->wakeUp.wait_until (lock, deadline, [&shared] { return shared->runOver; }))
                    process->kill();
            }).detach();
        }

        ~KillAtDeadline()
        {
            {
                const std::lock_guard<std::mutex> lock (shared->mutex);
                shared->runOver = true;
            }
            shared->wakeUp.notify_one();
        }

    private:
        struct Shared
        {
            std::mutex mutex;
            std::condition_variable wakeUp;
            bool runOver = false;
        };

        std::shared_ptr<Shared> shared;

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
    const auto log = openLog();
    *log << args.joinIntoString (" ").toStdString() << '\n';

    // Shared with the guard, which may outlive this frame.
    const auto process = std::make_shared<juce::ChildProcess>();

    if (! process->start (args))
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

        while (process->isRunning() && Clock::now() < deadline)
        {
            juce::Thread::sleep (toolrun::readPauseMs);

            if (! guard.has_value() && process->isRunning())
                guard.emplace (process, deadline);

            bytesRead += process->readProcessOutput (capture.get() + bytesRead,
                                                    toolrun::captureLimit - bytesRead);
        }
    }

    if (process->isRunning())
        process->kill();

    // A tool that ended before the loop's first look never had its output
    // read: on a busy machine a quick tool can start, write and end before
    // this thread runs again. What it left in the pipe is taken now.
    bytesRead += process->readProcessOutput (capture.get() + bytesRead, toolrun::captureLimit - bytesRead);

    const auto textLength = std::strlen (capture.get());
    log->write (capture.get(), (std::streamsize) textLength);
    *log << '\n' << "====================" << '\n' << '\n';
    log->flush();

    return { textFromBytes (capture.get(), textLength), (int) process->getExitCode() };
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
