// The tools' paths and command lines, and the operations run against the
// fake tools in a folder whose path holds a blank.
#include "ToolFolder.h"

#include "tools/McuCommands.h"
#include "tools/ToolPaths.h"
#include "tools/WirelessCommands.h"

class ToolCommands : public ToolFolderTest
{
};

TEST_F (ToolCommands, PathsLieBesideTheExecutable)
{
    const auto folder = ToolFolderTest::folder().getFullPathName();
    ASSERT_TRUE (folder.contains (" ")) << "the test must run from a folder with a blank in its path";

    EXPECT_EQ (exeDir(), folder + "\\");
    EXPECT_EQ (dfuUtilPath(), folder + "\\dfu-util.exe");
    EXPECT_EQ (esptoolPath(), folder + "\\esptool.exe");
    EXPECT_EQ (&exeDir(), &exeDir()) << "built once and kept";
}

TEST_F (ToolCommands, ArgumentLists)
{
    const auto dir = exeDir();

    EXPECT_EQ (makeMcuDetectArgs(), (juce::StringArray { dir + "dfu-util.exe", "-l" }));

    EXPECT_EQ (makeMcuUpdateArgs(),
               (juce::StringArray { dir + "dfu-util.exe", "-s", "0x90000000:leave:mass-erase:force", "-d", "6e3c:0222",
                                    "-D", dir + "Images\\kelvane-fw.bin" }));

    EXPECT_EQ (makeWirelessDetectArgs(),
               (juce::StringArray { dir + "esptool.exe", "--connect-attempts", "8", "read_mac" }));

    EXPECT_EQ (makeWirelessUpdateArgs(),
               (juce::StringArray { dir + "esptool.exe", "--connect-attempts", "8", "-b", "460800",
                                    "--before", "default_reset", "--after", "hard_reset", "--chip", "esp32s3",
                                    "write_flash", "--flash_mode", "dio", "--flash_freq", "80m", "--flash_size", "4MB",
                                    "0x0", dir + "Images\\ESP32bin\\bootloader.bin",
                                    "0x8000", dir + "Images\\ESP32bin\\partition-table.bin",
                                    "0xd000", dir + "Images\\ESP32bin\\ota_data_initial.bin",
                                    "0x10000", dir + "Images\\ESP32bin\\esp32-fw.bin" }));
}

TEST_F (ToolCommands, TheDownloadGetsTheImagePathAsOneArgument)
{
    setToolScript ({ "out Download done.\\nFile downloaded successfully\\n" });
    EXPECT_TRUE (updateMcu());

    const auto runs = recordedRuns();
    ASSERT_EQ (runs.size(), 1u);
    EXPECT_EQ (runs[0][runs[0].size() - 1], exeDir() + "Images\\kelvane-fw.bin");
    EXPECT_EQ (runs[0].size(), makeMcuUpdateArgs().size());
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

    const auto runs = recordedRuns();
    ASSERT_EQ (runs.size(), 4u);
    EXPECT_EQ (runs[0], makeWirelessDetectArgs());
    EXPECT_EQ (runs[3], makeWirelessUpdateArgs());
}

// How many runs each operation allows: its text found in the last allowed
// run still counts, and one run further is never made.
struct AttemptsCase
{
    const char* name;
    bool (*operation)();
    const char* successLine; // a line of the tool's that holds the expected text
    size_t attempts;
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
    EXPECT_EQ (recordedRuns().size(), GetParam().attempts);
}

TEST_P (ToolCommandAttempts, NoRunIsMadeBeyondTheAllowed)
{
    EXPECT_FALSE (runWithTheTextInRun (GetParam().attempts + 1));
    EXPECT_EQ (recordedRuns().size(), GetParam().attempts);
}

INSTANTIATE_TEST_SUITE_P (
    ToolCommands, ToolCommandAttempts,
    testing::Values (AttemptsCase { "McuDetection", detectMcu, "Found DFU: [6e3c:0222] ver=0200", 5 },
                     AttemptsCase { "McuDownload", updateMcu, "File downloaded successfully", 2 },
                     AttemptsCase { "WirelessDetection", detectWirelessModule, "Chip is ESP32-S3 (QFN56)", 2 },
                     AttemptsCase { "WirelessFlashing", updateWirelessModule, "Leaving...", 2 }),
    [] (const testing::TestParamInfo<AttemptsCase>& p) { return std::string (p.param.name); });
