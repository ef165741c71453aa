// The tools' paths and command lines, and the operations run against the
// fake tools in a folder whose path holds a blank.
#include "ToolFolder.h"

#include "tools/McuCommands.h"
#include "tools/ToolPaths.h"
#include "tools/WirelessCommands.h"

#include <thread>

class ToolCommands : public ToolFolderTest
{
};

TEST_F (ToolCommands, PathsLieBesideTheExecutable)
{
    const auto folder = programFolder();
    ASSERT_TRUE (folder.endsWith ("\\updater folder\\")) << folder;

    // The worker asks first, as the program's tasks do; the message thread
    // then gets the same text, not one of its own.
    const juce::String* onWorker = nullptr;
    std::thread ([&] { onWorker = &exeDir(); }).join();
    ASSERT_NE (onWorker, nullptr);
    EXPECT_EQ (*onWorker, folder);
    EXPECT_EQ (&exeDir(), onWorker) << "built once and kept";

    EXPECT_EQ (dfuUtilPath(), folder + "dfu-util.exe");
    EXPECT_EQ (esptoolPath(), folder + "esptool.exe");
    EXPECT_EQ (*onWorker, folder) << "still the folder after the paths were built from it";
}

TEST_F (ToolCommands, ArgumentLists)
{
    EXPECT_EQ (makeMcuDetectArgs(), mcuDetectionLine());
    EXPECT_EQ (makeMcuUpdateArgs(), mcuDownloadLine());
    EXPECT_EQ (makeWirelessDetectArgs(), wirelessDetectionLine());
    EXPECT_EQ (makeWirelessUpdateArgs(), wirelessFlashingLine());
}

TEST_F (ToolCommands, TheDownloadGetsTheImagePathAsOneArgument)
{
    setToolScript ({ "out Download done.\\nFile downloaded successfully\\n" });
    EXPECT_TRUE (updateMcu());

    const auto runs = recordedRuns();
    ASSERT_EQ (runs.size(), 1u);
    EXPECT_EQ (runs[0][runs[0].size() - 1], programFolder() + "Images\\kelvane-fw.bin");
    EXPECT_EQ (runs[0], mcuDownloadLine());
}

TEST_F (ToolCommands, DetectionFindsTheIdsOnlyInLowerCase)
{
    setToolScript ({ "out Found DFU: [6e3c:0222] ver=0200, devnum=5\\n" });
    EXPECT_TRUE (detectMcu());
    EXPECT_EQ (recordedRuns().size(), 1u);
}

TEST_F (ToolCommands, DetectionGivesUpAfterFiveRuns)
{
    setToolScript ({ "out Found DFU: [6E3C:0222] ver=0200\\n" });
    bool found = true;
    const auto ms = millisecondsOf ([&] { found = detectMcu(); });

    EXPECT_FALSE (found);
    EXPECT_EQ (recordedRuns().size(), 5u);
    EXPECT_GE (ms, 4800.0);
}

TEST_F (ToolCommands, AFailedDownloadIsTriedTwice)
{
    setToolScript ({ "err dfu-util: No DFU capable USB device available\\n", "exit 74" });
    EXPECT_FALSE (updateMcu());
    EXPECT_EQ (recordedRuns().size(), 2u);
}

TEST_F (ToolCommands, WirelessDetectionAndFlashing)
{
    setToolScript ({ "out Chip is ESP32-S3 (QFN56) (revision v0.2)\\n" });
    EXPECT_TRUE (detectWirelessModule());

    setToolScript ({ "out Chip is ESP32-C3\\n" });
    EXPECT_FALSE (detectWirelessModule());

    setToolScript ({ "out Hash of data verified.\\n\\nLeaving...\\nHard resetting via RTS pin...\\n" });
    EXPECT_TRUE (updateWirelessModule());

    const auto detection = wirelessDetectionLine();
    EXPECT_EQ (recordedRuns(),
               (std::vector<juce::StringArray> { detection, detection, detection, wirelessFlashingLine() }));
}

// How many runs each operation allows, and the command line of every run:
// its text found in the last allowed run still counts, and one run further
// is never made.
struct AttemptsCase
{
    const char* name;
    bool (*operation)();
    const char* successLine; // a line of the tool's that holds the expected text
    size_t attempts;
    juce::StringArray (*commandLine)();
};

class ToolCommandAttempts : public ToolFolderTest, public testing::WithParamInterface<AttemptsCase>
{
protected:
    bool runWithTheTextInRun (size_t run)
    {
        const auto& c = GetParam();
        setToolScript ({ "on " + juce::String ((int) run) + " " + c.successLine + "\\n" });
        return c.operation();
    }
};

TEST_P (ToolCommandAttempts, TheLastAllowedRunCanSucceed)
{
    EXPECT_TRUE (runWithTheTextInRun (GetParam().attempts));
    EXPECT_EQ (recordedRuns(), std::vector<juce::StringArray> (GetParam().attempts, GetParam().commandLine()));
}

TEST_P (ToolCommandAttempts, NoRunIsMadeBeyondTheAllowed)
{
    EXPECT_FALSE (runWithTheTextInRun (GetParam().attempts + 1));
    EXPECT_EQ (recordedRuns(), std::vector<juce::StringArray> (GetParam().attempts, GetParam().commandLine()));
}

INSTANTIATE_TEST_SUITE_P (
    ToolCommands, ToolCommandAttempts,
    testing::Values (
        AttemptsCase { "McuDetection", detectMcu, "Found DFU: [6e3c:0222] ver=0200", 5, mcuDetectionLine },
        AttemptsCase { "McuDownload", updateMcu, "File downloaded successfully", 2, mcuDownloadLine },
        AttemptsCase { "WirelessDetection", detectWirelessModule, "Chip is ESP32-S3 (QFN56)", 2,
                       wirelessDetectionLine },
        AttemptsCase { "WirelessFlashing", updateWirelessModule, "Leaving...", 2, wirelessFlashingLine }),
    [] (const testing::TestParamInfo<AttemptsCase>& p) { return std::string (p.param.name); });
