// The tool runner against the fake tools: capture, record, retries and pauses.
#include "ToolFolder.h"

#include "support/MessageLoop.h"

#include "app/MainComponent.h"
#include "tools/ProcessRunner.h"
#include "tools/ToolPaths.h"

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace
{
    const std::string separator = "====================";

    juce::String missingTool() { return exeDir() + "no-such-tool.exe"; }

    // The record of one run whose tool wrote `output` (as stored: CR LF for LF).
    std::string record (const juce::String& commandLine, const std::string& storedOutput)
    {
        return commandLine.toStdString() + "\r\n" + storedOutput + "\r\n" + separator + "\r\n\r\n";
    }
}

class ProcessRunner : public ToolFolderTest
{
};

TEST_F (ProcessRunner, AMissingToolIsTriedRetriesPlusOneTimesWithAPauseAfterEach)
{
    const juce::StringArray args { missingTool(), "-l" };
    bool found = true;
    const auto ms = millisecondsOf ([&] { found = runAndExpect (args, "6e3c:0222", 4); });
    const auto afterTheLast = msSinceTheLastRecord();

    EXPECT_FALSE (found);
    // Five pauses of 500 ms, the last one after the last try. A busy machine
    // may add to them, but not a pause's worth to each.
    EXPECT_GE (ms, 2400.0);
    EXPECT_LT (ms, 4500.0);
    EXPECT_GE (afterTheLast, 480.0);

    const auto line = args.joinIntoString (" ").toStdString() + "\r\n";
    EXPECT_EQ (logBytes(), line + line + line + line + line);
}

TEST_F (ProcessRunner, AMissingToolGivesAnEmptyTextAndMinusOne)
{
    const auto result = runProcess ({ missingTool() });
    EXPECT_TRUE (result.output.isEmpty());
    EXPECT_EQ (result.exitCode, -1);
}

TEST_F (ProcessRunner, AnEmptyExpectedTextIsFoundAfterOneRunEvenWithoutATool)
{
    millisecondsOf ([&] { EXPECT_TRUE (runAndExpect ({ missingTool() }, "", 4)); });
    // Nothing but the return follows the record: a pause would be 500 ms.
    EXPECT_LT (msSinceTheLastRecord(), 400.0);
    EXPECT_EQ (logBytes(), missingTool().toStdString() + "\r\n");
}

TEST_F (ProcessRunner, NegativeRetriesRunNothingAndLogNothing)
{
    setToolScript ({ "out 6e3c:0222" });
    EXPECT_FALSE (runAndExpect ({ dfuUtilPath() }, "6e3c:0222", -1));
    EXPECT_TRUE (recordedRuns().empty());
    EXPECT_FALSE (logFile().exists());
}

TEST_F (ProcessRunner, TheTextFoundInTheFirstRunEndsWithoutAPause)
{
    setToolScript ({ "out Found DFU: [6e3c:0222] ver=0200\\n", "exit 74" });
    bool found = false;
    const auto ms = millisecondsOf ([&] { found = runAndExpect ({ dfuUtilPath(), "-l" }, "6e3c:0222", 4); });
    const auto afterTheRun = msSinceTheLastRecord();

    // The exit code plays no part.
    EXPECT_TRUE (found);
    EXPECT_EQ (recordedRuns().size(), 1u);
    EXPECT_GE (ms, 480.0); // a run lasts at least its first read pause
    // However long the tool took to start on a busy machine, nothing but the
    // return follows its record: a pause would be 500 ms.
    EXPECT_LT (afterTheRun, 400.0);
}

TEST_F (ProcessRunner, ALaterAttemptThatFindsTheTextEndsTheTriesWithoutAPause)
{
    setToolScript ({ "on 3 Found DFU: [6e3c:0222]\\n" });
    const juce::StringArray args { dfuUtilPath(), "-l" };
    EXPECT_TRUE (runAndExpect (args, "6e3c:0222", 4));
    EXPECT_LT (msSinceTheLastRecord(), 400.0);

    EXPECT_EQ (recordedRuns().size(), 3u);
    const auto commandLine = args.joinIntoString (" ");
    EXPECT_EQ (logBytes(), record (commandLine, "") + record (commandLine, "")
                               + record (commandLine, "Found DFU: [6e3c:0222]\r\n"));
}

TEST_F (ProcessRunner, ARunThatMissesIsFollowedByAPauseAlsoAfterTheLast)
{
    setToolScript ({ "out nothing here", "exit 0" });
    bool found = true;
    const auto ms = millisecondsOf ([&] { found = runAndExpect ({ dfuUtilPath() }, "File downloaded successfully", 1); });
    const auto afterTheLast = msSinceTheLastRecord();

    EXPECT_FALSE (found);
    EXPECT_EQ (recordedRuns().size(), 2u);
    EXPECT_GE (ms, 1900.0); // two runs of 500 ms, two pauses of 500 ms
    // The second pause comes after the last record, and it is one pause, not
    // a longer wait, however long the tool took to start.
    EXPECT_GE (afterTheLast, 480.0);
    EXPECT_LT (afterTheLast, 2000.0);
}

struct CaptureCase
{
    const char* name;
    juce::StringArray script;
    juce::String expectedText;  // what the result holds
    std::string expectedStored; // the output part of the record, as stored
    int expectedExitCode;
};

class ProcessRunnerCapture : public ToolFolderTest, public testing::WithParamInterface<CaptureCase>
{
};

TEST_P (ProcessRunnerCapture, TextRecordAndExitCode)
{
    const auto& c = GetParam();
    setToolScript (c.script);

    const juce::StringArray args { dfuUtilPath(), "-l" };
    const auto result = runProcess (args);

    EXPECT_EQ (result.output, c.expectedText);
    EXPECT_EQ (result.exitCode, c.expectedExitCode);
    EXPECT_EQ (logBytes(), record (args.joinIntoString (" "), c.expectedStored));
}

namespace
{
    juce::String repeated (char c, int count) { return juce::String::repeatedString (juce::String::charToString (c), count); }
}

INSTANTIATE_TEST_SUITE_P (
    ProcessRunner, ProcessRunnerCapture,
    testing::Values (
        CaptureCase { "PlainLines", { "out one\\ntwo\\n", "exit 0" }, "one\ntwo\n", "one\r\ntwo\r\n", 0 },
        CaptureCase { "StdoutAndStderrInterleaved", { "out 1", "err 2", "out 3", "exit 5" }, "123", "123", 5 },
        CaptureCase { "CarriageReturnLineFeedStoredWithTwoReturns", { "out ok\\r\\n" }, "ok\r\n", "ok\r\r\n", 0 },
        CaptureCase { "ZeroByteEndsTheText", { "out ab\\x00cd" }, "ab", "ab", 0 },
        CaptureCase { "HighByteIsItsOwnCharacter", { "out caf\\xe9!" }, juce::String (juce::CharPointer_UTF8 ("caf\xc3\xa9!")),
                      "caf\xe9!", 0 },
        CaptureCase { "Exactly64KiB", { "fill 65536 41" }, repeated ('A', 65536), std::string (65536, 'A'), 0 },
        CaptureCase { "MoreThan64KiBIsCut", { "fill 66000 42" }, repeated ('B', 65536), std::string (65536, 'B'), 0 },
        CaptureCase { "NoOutput", { "exit 1" }, "", "", 1 }),
    [] (const testing::TestParamInfo<CaptureCase>& p) { return std::string (p.param.name); });

TEST_F (ProcessRunner, AnArgumentWithABlankArrivesWholeAndIsLoggedUnquoted)
{
    setToolScript ({ "out done" });
    const juce::StringArray args { dfuUtilPath(), "-D", "C:\\some folder\\fw.bin", "say \"hi\"" };
    runProcess (args);

    ASSERT_EQ (recordedRuns().size(), 1u);
    const auto received = recordedRuns()[0];
    ASSERT_EQ (received.size(), 4);
    EXPECT_EQ (received[1], "-D");
    EXPECT_EQ (received[2], "C:\\some folder\\fw.bin");
    EXPECT_EQ (received[3], "say \"hi\"");
    EXPECT_EQ (logBytes(), record (args.joinIntoString (" "), "done"));
}

TEST_F (ProcessRunner, TwoRunsWriteTwoRecordsInARow)
{
    setToolScript ({ "out first\\n" });
    const juce::StringArray args { dfuUtilPath(), "-l" };
    runProcess (args);
    runProcess (args);

    const auto one = record (args.joinIntoString (" "), "first\r\n");
    EXPECT_EQ (logBytes(), one + one);
}

class ToolLog : public ToolFolderTest
{
protected:
    juce::File logFolder() const { return logFile().getParentDirectory(); }
};

TEST_F (ToolLog, TheFolderIsMadeWhenMissing)
{
    logFolder().deleteRecursively();
    setToolScript ({ "out x" });
    runProcess ({ dfuUtilPath() });
    EXPECT_TRUE (logFolder().isDirectory());
    EXPECT_TRUE (logFile().existsAsFile());
}

TEST_F (ToolLog, AToolThatOutlivesItsRunLeavesTheLogFreeToMoveAndDelete)
{
    setToolScript ({ "linger 20000", "out done\\n" });
    const auto result = runProcess ({ dfuUtilPath() });
    ASSERT_TRUE (result.output.startsWith ("lingering ")) << result.output;

    const auto pid = (DWORD) result.output.fromFirstOccurrenceOf ("lingering ", false, false).getLargeIntValue();
    const auto helper = OpenProcess (SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    ASSERT_NE (helper, nullptr);
    const auto stillRuns = [helper] { return WaitForSingleObject (helper, 0) == WAIT_TIMEOUT; };

    // Whatever the helper inherited from the tool, the log is not among it.
    ASSERT_TRUE (stillRuns());
    const auto moved = logFile().getSiblingFile ("moved away.log");
    EXPECT_TRUE (logFile().moveFileTo (moved));
    EXPECT_TRUE (moved.deleteFile());
    EXPECT_TRUE (stillRuns()) << "the helper ended too soon to show anything";

    TerminateProcess (helper, 0);
    WaitForSingleObject (helper, 5000);
    CloseHandle (helper);
}

TEST_F (ToolLog, AFileNamedLikeTheFolderLeavesTheRunsUnlogged)
{
    logFolder().deleteRecursively();
    ASSERT_TRUE (logFolder().replaceWithText ("not a folder"));

    setToolScript ({ "out 6e3c:0222" });
    EXPECT_TRUE (runAndExpect ({ dfuUtilPath(), "-l" }, "6e3c:0222", 0));

    EXPECT_TRUE (logFolder().existsAsFile());
    EXPECT_EQ (logFolder().loadFileAsString(), "not a folder");
    logFolder().deleteFile();
}

class ProcessRunnerLimit : public ToolFolderTest
{
};

namespace
{
    // The flow's engine with a state that does nothing: only its worker and
    // its stop are wanted.
    class IdleState : public State
    {
    public:
        using State::State;
        std::unique_ptr<State> clone() override { return std::make_unique<IdleState> (owner); }
        void enter() const override {}
        std::unique_ptr<State> handle (const Event&) override { return nullptr; }
    };

    // Opens every running process of this program file, by its full path,
    // with the access asked for, and hands it to `act`; the number for which
    // `act` said yes.
    int forEachProcessOf (const juce::File& program, DWORD access, const std::function<bool (HANDLE)>& act)
    {
        const auto snapshot = CreateToolhelp32Snapshot (TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry {};
        entry.dwSize = sizeof (entry);
        int count = 0;

        for (auto more = Process32FirstW (snapshot, &entry); more; more = Process32NextW (snapshot, &entry))
        {
            const auto process = OpenProcess (PROCESS_QUERY_LIMITED_INFORMATION | access, FALSE, entry.th32ProcessID);

            if (process == nullptr)
                continue;

            wchar_t path[MAX_PATH] {};
            DWORD size = MAX_PATH;

            if (QueryFullProcessImageNameW (process, 0, path, &size) && juce::File (juce::String (path)) == program
                && act (process))
                ++count;

            CloseHandle (process);
        }

        CloseHandle (snapshot);
        return count;
    }

    int processesOf (const juce::File& program)
    {
        return forEachProcessOf (program, 0, [] (HANDLE) { return true; });
    }

    bool programRuns (const juce::File& program) { return processesOf (program) > 0; }

    // The lines of the stored text, each ended by CR LF, that are exactly `line`.
    int linesEqualTo (const std::string& stored, const std::string& line)
    {
        int count = 0;

        for (size_t start = 0, end; (end = stored.find ("\r\n", start)) != std::string::npos; start = end + 2)
            if (stored.compare (start, end - start, line) == 0)
                ++count;

        return count;
    }
}

// Both cases wait out the two-minute limit, so they share one wait: the
// second run starts while the first one's tool still hangs.
TEST_F (ProcessRunnerLimit, AToolThatNeverEndsIsKilledAfterTwoMinutes)
{
    setToolScript ({ "out still\\n", "out working\\n", "hang" });

    // A run on the engine's worker, which the engine's end kills by force
    // in the middle of the run's read, after its deadline guard has started:
    // the guard must still kill the tool at the limit, touching nothing of
    // the killed run's frame. The run uses esptool.exe, to be told apart.
    const auto orphan = juce::File (esptoolPath());
    ASSERT_FALSE (programRuns (orphan)) << "a tool of an earlier test still runs";
    {
        auto engine = std::make_unique<MainComponent> ([] (MainComponent* owner) {
            return std::make_unique<IdleState> (owner);
        });
        engine->pushTask ([orphan] { runProcess ({ orphan.getFullPathName() }); });
        ASSERT_TRUE (testsupport::pumpUntil ([this] { return recordedRuns().size() == 1; }, 10000));
        testsupport::pumpFor (1500); // past the first read pause: the guard runs
        engine = nullptr;
    }

    // The killed worker's stack is given back once other threads end.
    for (int i = 0; i < 4; ++i)
        std::thread ([] {}).join();
    ASSERT_TRUE (programRuns (orphan)) << "the tool of the stopped run should hang on";

    const juce::StringArray args { dfuUtilPath(), "-l" };
    ProcessResult result;
    const auto ms = millisecondsOf ([&] { result = runProcess (args); });

    // The limit, and then a kill and the end of a read, which a busy
    // machine may stretch to seconds: not to another minute.
    EXPECT_GE (ms, 119900.0);
    EXPECT_LT (ms, 130000.0);
    EXPECT_EQ (result.output, "still\nworking\n");
    // Of the stopped run's record, its command line is in the file, a line
    // of its own; the rest never came.
    EXPECT_EQ (logBytes(), orphan.getFullPathName().toStdString() + "\r\n"
                               + record (args.joinIntoString (" "), "still\r\nworking\r\n"));

    // Its tool started before this run's, so its limit has passed too.
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return ! programRuns (orphan); }, 10000))
        << "the tool of the stopped run was not killed at its limit";
}

class ProcessRunnerStop : public ToolFolderTest
{
};

namespace
{
    // Ends every process of this program file; the number ended.
    int endEvery (const juce::File& program)
    {
        return forEachProcessOf (program, PROCESS_TERMINATE | SYNCHRONIZE, [] (HANDLE process) {
            if (! TerminateProcess (process, 0))
                return false;

            WaitForSingleObject (process, 5000);
            return true;
        });
    }

    // Ends the program with a word of why when it makes no progress for the
    // time: a program whose system locks are held by a dead thread hangs at
    // its next allocation, and can no longer end a test by itself. It speaks
    // and ends through the system alone, which needs none of those locks.
    class Watchdog
    {
    public:
        explicit Watchdog (DWORD limitMs)
            : progress (CreateEventW (nullptr, FALSE, FALSE, nullptr)),
              finished (CreateEventW (nullptr, TRUE, FALSE, nullptr))
        {
            watcher = std::thread ([this, limitMs] {
                const HANDLE events[] { finished, progress };

                while (WaitForMultipleObjects (2, events, FALSE, limitMs) == WAIT_OBJECT_0 + 1)
                    ;

                if (WaitForSingleObject (finished, 0) == WAIT_OBJECT_0)
                    return;

                static const char why[] = "the program hung after its worker was stopped by force\n";
                DWORD written = 0;
                WriteFile (GetStdHandle (STD_ERROR_HANDLE), why, sizeof (why) - 1, &written, nullptr);
                TerminateProcess (GetCurrentProcess(), 3);
            });
        }

        ~Watchdog()
        {
            SetEvent (finished);
            watcher.join();
            CloseHandle (progress);
            CloseHandle (finished);
        }

        void madeProgress() { SetEvent (progress); }

    private:
        const HANDLE progress, finished;
        std::thread watcher;
    };
}

// The engine's end stops a worker that still waits on a hung tool by force.
// The stop must leave no system lock held by the dead thread: the program
// goes on starting threads and tools and allocating. A stop in the middle
// of the framework's poll of the pipe does not survive that for long under
// Wine; the poll is a small part of the wait, so many workers are stopped.
TEST_F (ProcessRunnerStop, WorkersStoppedByForceDuringARunLeaveTheProgramWorking)
{
    setToolScript ({ "out still\\n", "hang" });
    const auto tool = juce::File (esptoolPath());
    constexpr int rounds = 4, engines = 12;

    // A command line longer than the log stream's buffer, which the stream
    // writes out past the buffer, without the line end that follows it.
    const juce::StringArray args { tool.getFullPathName(), "--note=" + juce::String::repeatedString ("x", 1200) };
    const auto commandLine = args.joinIntoString (" ").toStdString();
    Watchdog watchdog (60000);

    // The hung tools go with the test, whatever it ends in: one left behind
    // would look like a tool the next suite failed to kill.
    const juce::ScopeGuard endTheTools { [&tool] { endEvery (tool); } };

    // A run that came back ended without hanging: a tool whose start failed
    // on a loaded machine, say. It is no stop by force, and is only counted.
    static std::atomic<int> runsBack { 0 };
    runsBack = 0;
    // A run begun whose tool has neither recorded its start nor ended: the
    // failure tells a tool that runs but never got to its script from a run
    // that never started one.
    static std::atomic<int> runsBegun { 0 };
    runsBegun = 0;

    for (int round = 0; round < rounds; ++round)
    {
        std::vector<std::unique_ptr<MainComponent>> running;

        for (int i = 0; i < engines; ++i)
        {
            running.push_back (std::make_unique<MainComponent> ([] (MainComponent* owner) {
                return std::make_unique<IdleState> (owner);
            }));
            running.back()->pushTask ([args] {
                ++runsBegun;
                runProcess (args);
                ++runsBack;
            });

            // Every run has either started its tool, which records its start,
            // or come back, before the next one begins. The runs write their
            // records into one log and the tools their starts into one file,
            // each through a descriptor of its own, and the runtime's append
            // moves to the end and then writes: two at once can write over
            // each other.
            const auto started = round * engines + i + 1;
            const auto underWay = [&] { return (int) recordedRuns().size() + runsBack >= started; };
            ASSERT_TRUE (testsupport::pumpUntil (underWay, 50000))
                << "round " << round + 1 << ": " << runsBegun << " runs begun, " << processesOf (tool)
                << " tools running, " << recordedRuns().size() << " tools recorded their start and " << runsBack
                << " runs came back, of " << started;
            watchdog.madeProgress();
        }

        testsupport::pumpFor (1000); // past the first read pause, into the wait for the tool
        running.clear();
        watchdog.madeProgress();
    }

    EXPECT_EQ (endEvery (tool), rounds * engines - runsBack);
    EXPECT_LE (runsBack, 2) << "runs came back although their tool hangs";

    // Every run's record begins with its command line on a line of its own,
    // also the record of a run stopped by force.
    EXPECT_EQ (linesEqualTo (logBytes(), commandLine), rounds * engines);
}

namespace
{
    // How many of a run's helper threads start before one cannot.
    struct HelperStartCase
    {
        const char* name;
        int startsThatWork; // the guard starts first, then the reader
    };

    class ProcessRunnerHelperStart : public ToolFolderTest, public testing::WithParamInterface<HelperStartCase>
    {
    };
}

// A run whose helpers cannot all start is a failed run, as one whose tool
// cannot start, and the tool that did start is not left hanging with nothing
// to stop it at its limit.
TEST_P (ProcessRunnerHelperStart, IsAFailedRunThatKillsItsTool)
{
    setToolScript ({ "out still\\n", "hang" });
    const auto tool = juce::File (dfuUtilPath());
    ASSERT_FALSE (programRuns (tool)) << "a tool of an earlier test still runs";
    const juce::ScopeGuard endTheTools { [&tool] { endEvery (tool); } };

    // The helpers that do start run on threads of the test's, which count
    // the helpers whose work is over; the rest fail as std::thread does when
    // the system has no thread to give.
    std::vector<std::thread> helpers;
    std::atomic<int> helpersOver { 0 };
    const juce::ScopeGuard joinTheHelpers { [&helpers] {
        for (auto& helper : helpers)
            helper.join();
    } };
    const auto startThread = [&] (std::function<void()> work) {
        if ((int) helpers.size() == GetParam().startsThatWork)
            throw std::system_error (std::make_error_code (std::errc::resource_unavailable_try_again));

        helpers.emplace_back ([&helpersOver, work = std::move (work)] {
            work();
            ++helpersOver;
        });
    };

    const juce::StringArray args { tool.getFullPathName(), "-l" };
    ProcessResult result { "no result", 0 };

    try
    {
        result = runProcess (args, startThread);
    }
    catch (const std::exception& e)
    {
        ADD_FAILURE() << "the run threw: " << e.what();
    }

    EXPECT_EQ ((int) helpers.size(), GetParam().startsThatWork);
    EXPECT_TRUE (result.output.isEmpty()) << result.output;
    EXPECT_EQ (result.exitCode, -1);
    EXPECT_EQ (logBytes(), args.joinIntoString (" ").toStdString() + "\r\n");
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return ! programRuns (tool); }, 10000))
        << "the tool was left running with nothing to stop it";
    // A guard that started is told that the run is over, not left to wait
    // for the limit.
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return helpersOver == (int) helpers.size(); }, 5000))
        << helpersOver << " of " << helpers.size() << " helpers that started are over";
}

INSTANTIATE_TEST_SUITE_P (ProcessRunner, ProcessRunnerHelperStart,
                          testing::Values (HelperStartCase { "TheGuardCannotStart", 0 },
                                           HelperStartCase { "TheReaderCannotStart", 1 }),
                          [] (const testing::TestParamInfo<HelperStartCase>& p) { return std::string (p.param.name); });
