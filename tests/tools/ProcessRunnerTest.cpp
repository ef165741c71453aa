// The tool runner against the fake tools: capture, record, retries and pauses.
#include "ToolFolder.h"

#include "tools/ProcessRunner.h"
#include "tools/ToolPaths.h"

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

TEST_F (ProcessRunnerLimit, AToolThatNeverEndsIsKilledAfterTwoMinutes)
{
    setToolScript ({ "out still\\n", "out working\\n", "hang" });
    const juce::StringArray args { dfuUtilPath(), "-l" };
    ProcessResult result;
    const auto ms = millisecondsOf ([&] { result = runProcess (args); });

    // The limit, and then a kill and the end of a read, which a busy
    // machine may stretch to seconds: not to another minute.
    EXPECT_GE (ms, 119900.0);
    EXPECT_LT (ms, 130000.0);
    EXPECT_EQ (result.output, "still\nworking\n");
    EXPECT_EQ (logBytes(), record (args.joinIntoString (" "), "still\r\nworking\r\n"));
}
