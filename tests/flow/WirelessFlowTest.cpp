// The wireless-module flow's states in the real engine. Nothing in the
// program leads into this flow, so each test starts the engine in one of
// its states.
#include "FlowHost.h"

#include "flow/PrepareUpdateCoreState.h"
#include "flow/StartUpdateCoreState.h"
#include "flow/UpdateCoreState.h"
#include "flow/WaitUpdateCoreState.h"
#include "support/MessageLoop.h"

namespace
{
    const juce::String instruction = "1. Plug in the power cord and turn on your Kelvane\n\n"
                                     "2. Connect the provided USB cable from the USB-C data port of the Kelvane "
                                     "to your PC/Mac";
    const juce::String mcuInstruction = "Hold down the pair button while plugging in the power cable to put the "
                                        "Kelvane into firmware update mode, which is indicated by a solid white "
                                        "light.";
    const juce::String failed = "Please try again. If the error persists, please contact our support team from "
                                "the help center below.";
    const juce::String updatingMessage = "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac "
                                         "during the update process";

    // esptool's answers: the chip found, the flashing done, or neither.
    const juce::StringArray chipAndFlashing { "out Chip is ESP32-S3 (QFN56) (revision v0.2)\\n",
                                              "out Hash of data verified.\\n\\nLeaving...\\n" };
    const juce::StringArray chipOnly { "out Chip is ESP32-S3 (QFN56) (revision v0.2)\\n" };
    const juce::StringArray otherChip { "out Chip is ESP32-C3 (QFN32) (revision v0.4)\\n" };

    // The tool runs, one command line each, whole: esptool's path and every
    // argument as the tool got it.
    using Runs = std::vector<juce::StringArray>;

    template <typename StateType, typename... Args>
    MainComponent::StateFactory first (Args... args)
    {
        return [=] (MainComponent* owner) { return std::make_unique<StateType> (owner, args...); };
    }
}

class WirelessFlow : public FlowTest
{
};

TEST_F (WirelessFlow, TheRoadEndsOnTheMcuFlowsInstructionPage)
{
    setToolScript (chipAndFlashing);
    setWirelessVersionFile ("2.1.0");
    setMcuVersionFile ("1.0.4"); // not this flow's
    start (first<StartUpdateCoreState>());
    ASSERT_EQ (page(), stepPage (4, "Update Your Kelvane", instruction, "Next"));

    holdToolRuns();
    click();
    ASSERT_TRUE (waitForPage (busyPage (4, "Checking the Wireless Module ...")));
    letToolRunsGo();
    ASSERT_TRUE (waitForPage (deviceInfoPage ("2.1.0", "Update Wireless Module")));
    EXPECT_EQ (recordedRuns(), (Runs { wirelessDetectionLine() }));

    holdToolRuns();
    click();
    ASSERT_TRUE (waitForPage (updatingPage ("Updating the Wireless Module ...", updatingMessage)));
    letToolRunsGo();
    ASSERT_TRUE (waitForPage (stepPage (1, "Update MCU", mcuInstruction, "Next")));
    EXPECT_EQ (recordedRuns(), (Runs { wirelessDetectionLine(), wirelessFlashingLine() }));
    EXPECT_EQ (toastText(), "");
}

struct DetectionCase
{
    const char* name;
    juce::StringArray script;
    std::optional<std::string> versionFile;
    int runs;
};

class WirelessDetection : public FlowTest, public testing::WithParamInterface<DetectionCase>
{
};

TEST_P (WirelessDetection, WithoutAVersionRetryShowsThisFlowsInstructionPage)
{
    setToolScript (GetParam().script);
    setWirelessVersionFile (GetParam().versionFile);
    setMcuVersionFile ("1.0.4");
    start (first<PrepareUpdateCoreState>());

    ASSERT_TRUE (waitForPage (stepPage (3, "Update Failed", failed, "Retry")));
    EXPECT_EQ (toastText(), "Cannot detect the device!") << "the same text as the MCU flow's";
    EXPECT_EQ (recordedRuns(), Runs ((size_t) GetParam().runs, wirelessDetectionLine()));

    click();
    ASSERT_TRUE (waitForPage (stepPage (4, "Update Your Kelvane", instruction, "Next")));
}

INSTANTIATE_TEST_SUITE_P (
    WirelessFlow, WirelessDetection,
    testing::Values (DetectionCase { "AnotherChipAlthoughTheVersionFileIsThere", otherChip, "2.1.0", 2 },
                     DetectionCase { "TheModuleWithoutItsVersionFile", chipOnly, std::nullopt, 1 }),
    [] (const auto& testCase) { return std::string (testCase.param.name); });

TEST_F (WirelessFlow, AFailedFlashingRetriesFromTheVersionPage)
{
    setToolScript (chipOnly);
    start (first<WaitUpdateCoreState> (std::string ("2.1.0")));
    ASSERT_EQ (page(), deviceInfoPage ("2.1.0", "Update Wireless Module"));

    holdToolRuns();
    click();
    ASSERT_TRUE (waitForPage (updatingPage ("Updating the Wireless Module ...", updatingMessage)));
    letToolRunsGo();
    ASSERT_TRUE (waitForPage (stepPage (3, "Update Failed", failed, "Retry")));
    EXPECT_EQ (toastText(), "Failed to update wireless module!");
    EXPECT_EQ (recordedRuns(), (Runs { wirelessFlashingLine(), wirelessFlashingLine() }));

    click();
    ASSERT_TRUE (waitForPage (deviceInfoPage ("2.1.0", "Update Wireless Module"), 2000));

    setToolScript (chipAndFlashing);
    click();
    ASSERT_TRUE (waitForPage (stepPage (1, "Update MCU", mcuInstruction, "Next")));
    const auto flashing = wirelessFlashingLine();
    EXPECT_EQ (recordedRuns(), (Runs { flashing, flashing, flashing })) << "no new detection";
}

TEST_F (WirelessFlow, AnEmptyVersionFileShowsAnEmptyRowAndTheFlashingStillStarts)
{
    setToolScript (chipAndFlashing);
    setWirelessVersionFile ("");
    start (first<PrepareUpdateCoreState>());

    ASSERT_TRUE (waitForPage (deviceInfoPage ("", "Update Wireless Module")));
    click();
    ASSERT_TRUE (waitForPage (stepPage (1, "Update MCU", mcuInstruction, "Next")));
    EXPECT_EQ (recordedRuns(), (Runs { wirelessDetectionLine(), wirelessFlashingLine() }));
}

TEST_F (WirelessFlow, EventsAStateDoesNotWaitForChangeNothing)
{
    struct Row
    {
        const char* name;
        MainComponent::StateFactory make;
        std::string page;
    };

    const Row rows[] = {
        { "start", first<StartUpdateCoreState>(), stepPage (4, "Update Your Kelvane", instruction, "Next") },
        { "version", first<WaitUpdateCoreState> (std::string ("2.1.0")),
          deviceInfoPage ("2.1.0", "Update Wireless Module") },
    };

    setToolScript (chipAndFlashing);

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.name);
        start (row.make);

        engine().postEvent (std::make_unique<TaskFinished> (true));
        engine().postEvent (std::make_unique<PrepFinished> (std::string ("9.9")));
        engine().postEvent (std::make_unique<PrepFinished> (std::nullopt));
        testsupport::pumpFor (200);
        EXPECT_EQ (page(), row.page);
    }

    // A click while the module is flashed is dropped: one flashing.
    start (first<UpdateCoreState> (std::string ("2.1.0")));
    engine().postEvent (std::make_unique<ButtonClicked>());
    engine().postEvent (std::make_unique<PrepFinished> (std::string ("9.9")));
    ASSERT_TRUE (waitForPage (stepPage (1, "Update MCU", mcuInstruction, "Next")));
    testsupport::pumpFor (500);
    EXPECT_EQ (recordedRuns(), (Runs { wirelessFlashingLine() }));
}
