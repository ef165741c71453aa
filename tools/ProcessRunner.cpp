#include "tools/ProcessRunner.h"
#include "tools/ToolLog.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <windows.h>

namespace
{
    using Clock = std::chrono::steady_clock;

    // The framework's read waits until it has all the bytes it asked for or
    // the tool has ended, so a tool that hangs after a few lines would hold a
    // read for ever: the run kills it when the run limit is reached, and the
    // read then returns with what it has taken.
    //
    // The engine stops a worker that is still in a task after 100 ms by
    // force, and the run's frame then never unwinds; this guard kills the
    // tool at the limit all the same, as long as the process lives. It is
    // detached, and the tool's process and the guard's state are shared with
    // it, so everything it touches lives for as long as it does.
    class KillAtDeadline
    {
    public:
        KillAtDeadline (std::shared_ptr<juce::ChildProcess> processToKill, Clock::time_point deadline,
                        const toolrun::ThreadStart& startThread)
            : shared (std::make_shared<Shared>())
        {
            startThread ([process = std::move (processToKill), shared = shared, deadline] {
                std::unique_lock<std::mutex> lock (shared->mutex);

                // Killed under the lock: once the run is over, the guard
                // touches the process no more.
                if (! shared->wakeUp.wait_until (lock, deadline, [&shared] { return shared->runOver; }))
                    process->kill();
            });
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

    // The rest of a run's reading, once the tool is still running at the
    // first look, on a thread of its own. The framework's read polls the pipe
    // until it has what it asked for, and killing a thread in the middle of
    // that poll leaves the system's locks held (under Wine the process then
    // hangs at its next allocation): so the worker only ever waits on an
    // event, a wait that the engine's forced stop can end safely. The reader
    // is detached and owns everything it touches, for a worker stopped by
    // force never comes back for it.
    class BackgroundRead
    {
    public:
        BackgroundRead (std::shared_ptr<juce::ChildProcess> processToRead, Clock::time_point deadline,
                        const toolrun::ThreadStart& startThread)
            : shared (std::make_shared<Shared>())
        {
            // Without the event of its end nothing could wait for the
            // reading, and the capture would be copied while it is written.
            if (shared->done == nullptr)
                return;

            startThread ([process = std::move (processToRead), shared = shared, deadline] {
                for (;;)
                {
                    const auto count = process->readProcessOutput (shared->capture.get() + shared->bytesRead,
                                                                   toolrun::captureLimit - shared->bytesRead);
                    shared->bytesRead += count;

                    if (! process->isRunning() || Clock::now() >= deadline)
                        break;

                    juce::Thread::sleep (toolrun::readPauseMs);
                }

                SetEvent (shared->done);
            });

            underWay = true;
        }

        bool isUnderWay() const { return underWay; }

        // Waits until the reading is over or the time has come; true when over.
        bool waitUntil (Clock::time_point time) const
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (time - Clock::now()).count();
            return WaitForSingleObject (shared->done, (DWORD) juce::jlimit<juce::int64> (0, INFINITE - 1, left))
                   == WAIT_OBJECT_0;
        }

        void waitForEnd() const { WaitForSingleObject (shared->done, INFINITE); }

        // What was read, valid once the reading is over.
        const char* bytes() const { return shared->capture.get(); }
        int count() const { return shared->bytesRead; }

    private:
        struct Shared
        {
            Shared() : done (CreateEventW (nullptr, TRUE, FALSE, nullptr)) {}

            ~Shared()
            {
                if (done != nullptr)
                    CloseHandle (done);
            }

            // One extra byte stays zero after the last byte read: the end mark.
            juce::HeapBlock<char> capture { (size_t) toolrun::captureLimit + 1, true };
            int bytesRead = 0;
            const HANDLE done;

            JUCE_DECLARE_NON_COPYABLE (Shared)
        };

        std::shared_ptr<Shared> shared;
        bool underWay = false;

        JUCE_DECLARE_NON_COPYABLE (BackgroundRead)
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

void toolrun::startDetachedThread (std::function<void()> work)
{
    std::thread (std::move (work)).detach();
}

ProcessResult runProcess (const juce::StringArray& args, const toolrun::ThreadStart& startThread)
{
    // The command line goes into the file at once, with its line end: a run
    // that a quit cuts short never writes the rest of its record, and a line
    // longer than the stream's buffer is written past it, without what
    // follows it.
    const auto log = openLog();
    *log << args.joinIntoString (" ").toStdString() << '\n';
    log->flush();

    // Shared with the guard and the reader, which may outlive this frame.
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
        // the reader are made at the first look that finds it running. A
        // tool that has ended by then, the common case, is read at once
        // without them: under Wine a thread's start and end cost a run tens
        // of milliseconds on a busy machine.
        std::optional<KillAtDeadline> guard;

        // The first pause comes also for a tool that has ended before this
        // thread looked, as a busy machine can make a quick tool do: every
        // run lasts at least its first pause.
        do
        {
            juce::Thread::sleep (toolrun::readPauseMs);

            if (process->isRunning())
            {
                std::optional<BackgroundRead> reading;

                try
                {
                    guard.emplace (process, deadline, startThread);
                    reading.emplace (process, deadline, startThread);
                }
                catch (const std::exception&) // std::system_error: the system has no thread to give
                {
                }

                // A run that cannot start its helpers is a failed run, as one
                // whose tool cannot start, and its record is the command line
                // alone. Nothing would stop the tool at its limit, so it is
                // killed; a guard that did start is told that the run is over
                // as this frame goes.
                if (! reading.has_value() || ! reading->isUnderWay())
                {
                    process->kill();
                    return {};
                }

                if (! reading->waitUntil (deadline) && process->isRunning())
                    process->kill();

                reading->waitForEnd();
                bytesRead = reading->count();
                std::memcpy (capture.get(), reading->bytes(), (size_t) bytesRead);
                break;
            }

            bytesRead += process->readProcessOutput (capture.get() + bytesRead,
                                                    toolrun::captureLimit - bytesRead);
        }
        while (process->isRunning() && Clock::now() < deadline);
    }

    if (process->isRunning())
        process->kill();

    // What a tool wrote after the loop's last read, as it ended, is still
    // in the pipe: it is taken now.
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
