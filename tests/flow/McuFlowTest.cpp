// The MCU flow's states in the real engine: the pages they show, the tool
// runs their tasks make, their toasts and where "Retry" leads.
#include "FlowHost.h"

#include "flow/CheckUsbDriverState.h"
#include "flow/FailureState.h"
#include "flow/FinishState.h"
#include "flow/InstallUsbDriverState.h"
#include "flow/PrepareUpdateFwState.h"
#include "flow/StartUpdateFwState.h"
#include "flow/UpdateFwState.h"
#include "flow/WaitUpdateFwState.h"
#include "support/FakeUsbDevices.h"
#include "support/HeldLock.h"
#include "support/MessageLoop.h"

#include <chrono>

namespace
{
    const juce::String instruction = "Hold down the pair button while plugging in the power cable to put the "
                                     "Kelvane into firmware update mode, which is indicated by a solid white light.";
    const juce::String finished = "Please turn on your Kelvane back on and you are ready to rock!";
    const juce::String failed = "Please try again. If the error persists, please contact our support team from "
                                "the help center below.";
    const juce::String updatingMessage = "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac "
                                         "during the update process.";

    const juce::String detection = "-l";
    juce::String download()
    {
        return "-s 0x90000000:leave:mass-erase:force -d 6e3c:0222 -D "
               + juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                     .getSiblingFile ("Images")
                     .getChildFile ("kelvane-fw.bin")
                     .getFullPathName();
    }

    // dfu-util's answers: the device listed, the download done, or neither.
    const juce::StringArray deviceAndDownload { "out Found DFU: [6e3c:0222] ver=0200, devnum=5\\n",
                                                "out Download done.\\nFile downloaded successfully\\n" };
    const juce::StringArray deviceOnly { "out Found DFU: [6e3c:0222] ver=0200, devnum=5\\n" };
    const juce::StringArray nothing { "out dfu-util 0.11\\n" };

    template <typename StateType, typename... Args>
    MainComponent::StateFactory first (Args... args)
    {
        return [=] (MainComponent* owner) { return std::make_unique<StateType> (owner, args...); };
    }

    using Clock = std::chrono::steady_clock;

    double msSince (Clock::time_point start)
    {
        return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
    }
}

class McuFlow : public FlowTest
{
};

// Runs the driver check, so it shares the device tree and its lock.
TEST_F (McuFlow, TheMainRoadFromTheInstructionPageToTheFinishPage)
{
    setToolScript (deviceAndDownload);
    setMcuVersionFile ("1.0.4");
    holdDeviceListings();
    start ([] (MainComponent* owner) { return std::make_unique<StartUpdateFwState> (owner); });

    ASSERT_EQ (page(), stepPage (1, "Update MCU", instruction, "Next"));

    click();
    const auto clicked = Clock::now();
    ASSERT_TRUE (waitForPage (busyPage (1, "Checking the USB driver ...")));
    letOneListingGo();

    // No device needs the driver here: the check lets the flow go on, but
    // only after the device has had its time to show up.
    ASSERT_TRUE (waitForPage (deviceInfoPage ("1.0.4", "Update MCU")));
    EXPECT_GE (msSince (clicked), 2048.0 + 500.0);
    EXPECT_EQ (runs(), (std::vector<juce::String> { detection }));

    holdToolRuns();
    click();
    ASSERT_TRUE (waitForPage (updatingPage ("Updating the MCU ...", updatingMessage)));
    letToolRunsGo();
    ASSERT_TRUE (waitForPage (stepPage (2, "Update Complete", finished, "Quit")));
    EXPECT_EQ (runs(), (std::vector<juce::String> { detection, download() }));
    EXPECT_EQ (toastText(), "") << "no toast on the main road";
}

// A device without a driver, whose package cannot be prepared now: the same
// preparation runs in another process, so the installation fails as soon as
// it has listed the devices.
TEST_F (McuFlow, AFailedInstallationEndsOnTheFailurePageAndRetryStartsAgain)
{
    udi_test::FakeUsbDevices tree;
    ASSERT_TRUE (tree.add ({ L"USB\\VID_6E3C&PID_0222\\UDITESTFLOW1", { L"USB\\VID_6E3C&PID_0222" }, {},
                             L"Kelvane DFU", L"", L"", L"" }));
    const udi_test::HeldLock preparing (L"udi_prepare_driver");
    ASSERT_TRUE (preparing.held());

    setToolScript (deviceAndDownload);
    holdDeviceListings();
    start (first<StartUpdateFwState>());
    click();
    ASSERT_TRUE (waitForPage (busyPage (1, "Checking the USB driver ...")));
    letOneListingGo();

    // The check found the device without its driver: on to the installation,
    // without a toast.
    ASSERT_TRUE (waitForPage (busyPage (1, "Installing the USB driver ...")));
    EXPECT_FALSE (toastIsUp());
    letOneListingGo();

    ASSERT_TRUE (waitForPage (stepPage (3, "Update Failed", failed, "Retry")));
    EXPECT_EQ (listingsHeld(), 2) << "the check's listing and the installation's";
    EXPECT_EQ (toastText(), "Failed to install USB driver!");
    EXPECT_TRUE (toastIsUp());
    EXPECT_TRUE (runs().empty()) << "no detection without the driver";

    click();
    ASSERT_TRUE (waitForPage (stepPage (1, "Update MCU", instruction, "Next")));

    // And the run starts afresh, with the driver check, and fails as before.
    click();
    ASSERT_TRUE (waitForPage (busyPage (1, "Checking the USB driver ...")));
    letOneListingGo();
    ASSERT_TRUE (waitForPage (busyPage (1, "Installing the USB driver ...")));
    letOneListingGo();
    ASSERT_TRUE (waitForPage (stepPage (3, "Update Failed", failed, "Retry")));
    EXPECT_EQ (listingsHeld(), 4);
}

struct DetectionCase
{
    const char* name;
    juce::StringArray script;
    std::optional<std::string> versionFile;
    int runs;
};

class McuDetection : public FlowTest, public testing::WithParamInterface<DetectionCase>
{
};

TEST_P (McuDetection, WithoutAVersionTheToastSaysTheDeviceIsNotDetected)
{
    setToolScript (GetParam().script);
    setMcuVersionFile (GetParam().versionFile);
    start (first<PrepareUpdateFwState>());
    ASSERT_EQ (page(), busyPage (0, "Checking the MCU ..."));

    ASSERT_TRUE (waitForPage (stepPage (3, "Update Failed", failed, "Retry")));
    EXPECT_EQ (toastText(), "Cannot detect the device!");
    EXPECT_EQ (runs(), std::vector<juce::String> ((size_t) GetParam().runs, detection));

    click();
    ASSERT_TRUE (waitForPage (stepPage (1, "Update MCU", instruction, "Next")));
}

INSTANTIATE_TEST_SUITE_P (
    McuFlow, McuDetection,
    testing::Values (DetectionCase { "NoDeviceAlthoughTheVersionFileIsThere", nothing, "1.0.4", 5 },
                     DetectionCase { "UpperCaseIdsAreNotTheDevice",
                                     { "out Found DFU: [6E3C:0222] ver=0200\\n" }, "1.0.4", 5 },
                     DetectionCase { "TheDeviceWithoutItsVersionFile", deviceOnly, std::nullopt, 1 }),
    [] (const auto& testCase) { return std::string (testCase.param.name); });

struct VersionCase
{
    const char* name;
    std::string content;
    juce::String shown;
};

class McuVersion : public FlowTest, public testing::WithParamInterface<VersionCase>
{
};

TEST_P (McuVersion, TheVersionPageShowsTheFileAndItsButtonStartsTheDownload)
{
    setToolScript (deviceAndDownload);
    setMcuVersionFile (GetParam().content);
    start (first<PrepareUpdateFwState>());

    ASSERT_TRUE (waitForPage (deviceInfoPage (GetParam().shown, "Update MCU")));
    click();
    ASSERT_TRUE (waitForPage (stepPage (2, "Update Complete", finished, "Quit")));
    EXPECT_EQ (runs(), (std::vector<juce::String> { detection, download() }));
}

INSTANTIATE_TEST_SUITE_P (McuFlow, McuVersion,
                          testing::Values (VersionCase { "Empty", "", "" },
                                           VersionCase { "TwoLines", "1.0.4\r\nbeta", "1.0.4, beta" },
                                           VersionCase { "NotAscii", "1.0.4 \xc3\xa9t\xc3\xa9",
                                                         juce::CharPointer_UTF8 ("1.0.4 \xc3\xa9t\xc3\xa9") }),
                          [] (const auto& testCase) { return std::string (testCase.param.name); });

TEST_F (McuFlow, AFailedDownloadRetriesFromTheVersionPageAsOftenAsAsked)
{
    setToolScript (deviceOnly);
    setMcuVersionFile ("1.0.4");
    start (first<PrepareUpdateFwState>());
    ASSERT_TRUE (waitForPage (deviceInfoPage ("1.0.4", "Update MCU")));

    std::vector<juce::String> expectedRuns { detection };

    for (int failure = 0; failure < 2; ++failure)
    {
        SCOPED_TRACE (failure);
        holdToolRuns();
        click();
        ASSERT_TRUE (waitForPage (updatingPage ("Updating the MCU ...", updatingMessage)));
        letToolRunsGo();
        ASSERT_TRUE (waitForPage (stepPage (3, "Update Failed", failed, "Retry")));
        EXPECT_EQ (toastText(), "Failed to update MCU!");

        // Two runs of the download, then the same version again, without a
        // new detection or driver check.
        expectedRuns.insert (expectedRuns.end(), { download(), download() });
        EXPECT_EQ (runs(), expectedRuns);

        click();
        ASSERT_TRUE (waitForPage (deviceInfoPage ("1.0.4", "Update MCU"), 2000));
    }

    setToolScript (deviceAndDownload);
    click();
    ASSERT_TRUE (waitForPage (stepPage (2, "Update Complete", finished, "Quit")));
}

TEST_F (McuFlow, AQuickDoubleClickOnUpdateMcuRunsOneDownload)
{
    setToolScript (deviceAndDownload);
    start (first<WaitUpdateFwState> (std::string ("1.0.4")));
    ASSERT_EQ (page(), deviceInfoPage ("1.0.4", "Update MCU"));

    // Both clicks are queued before the engine handles the first: the second
    // reaches the state that downloads.
    click();
    click();
    ASSERT_TRUE (waitForPage (stepPage (2, "Update Complete", finished, "Quit")));
    testsupport::pumpFor (1500);

    EXPECT_EQ (runs(), (std::vector<juce::String> { download() }));
    EXPECT_EQ (page(), stepPage (2, "Update Complete", finished, "Quit"));
}

TEST_F (McuFlow, EventsAStateDoesNotWaitForChangeNothing)
{
    struct Row
    {
        const char* name;
        MainComponent::StateFactory make;
        std::string page;
    };

    const Row rows[] = {
        { "start", first<StartUpdateFwState>(), stepPage (1, "Update MCU", instruction, "Next") },
        { "version", first<WaitUpdateFwState> (std::string ("2.0")), deviceInfoPage ("2.0", "Update MCU") },
        { "finish", first<FinishState>(), stepPage (2, "Update Complete", finished, "Quit") },
        { "failure",
          [] (MainComponent* owner) {
              return std::make_unique<FailureState> (owner, std::make_unique<StartUpdateFwState> (owner));
          },
          stepPage (3, "Update Failed", failed, "Retry") },
    };

    setToolScript (deviceAndDownload);

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.name);
        start (row.make);
        ASSERT_EQ (page(), row.page);

        engine().postEvent (std::make_unique<TaskFinished> (true));
        engine().postEvent (std::make_unique<TaskFinished> (false));
        engine().postEvent (std::make_unique<PrepFinished> (std::string ("9.9")));
        engine().postEvent (std::make_unique<PrepFinished> (std::nullopt));
        testsupport::pumpFor (200);

        EXPECT_EQ (page(), row.page);
        EXPECT_EQ (toastText(), "");
    }

    EXPECT_TRUE (runs().empty()) << "none of them queues a task";
}

TEST_F (McuFlow, ClicksDoNotMoveTheStatesThatWaitForTheirTask)
{
    // Each is entered with its task running; a click meanwhile is dropped,
    // and the task's own event still moves the state on.
    setToolScript (deviceAndDownload);
    setMcuVersionFile ("1.0.4");
    start (first<PrepareUpdateFwState>());
    engine().postEvent (std::make_unique<ButtonClicked>());
    ASSERT_TRUE (waitForPage (deviceInfoPage ("1.0.4", "Update MCU")));
    EXPECT_EQ (runs().size(), 1u);

    holdDeviceListings();
    start (first<CheckUsbDriverState>());
    engine().postEvent (std::make_unique<ButtonClicked>());
    engine().postEvent (std::make_unique<PrepFinished> (std::string ("1.0")));
    testsupport::pumpFor (200);
    EXPECT_EQ (page(), busyPage (0, "Checking the USB driver ..."));
    letOneListingGo();
    ASSERT_TRUE (waitForPage (deviceInfoPage ("1.0.4", "Update MCU")));
    EXPECT_EQ (runs().size(), 2u);
}

// Clones are what "Retry" runs: they must not share what they hold.
TEST (FlowStateClones, AFailureStateClonesItsRetryStateAndAVersionItsText)
{
    FailureState failure (nullptr, std::make_unique<WaitUpdateFwState> (nullptr, std::string (40, 'v')));
    auto copy = failure.clone();
    auto* copied = dynamic_cast<FailureState*> (copy.get());
    ASSERT_NE (copied, nullptr);

    auto* original = dynamic_cast<WaitUpdateFwState*> (failure.retryState.get());
    auto* retry = dynamic_cast<WaitUpdateFwState*> (copied->retryState.get());
    ASSERT_NE (retry, nullptr);
    EXPECT_NE (retry, original);
    EXPECT_EQ (retry->version, original->version);
    EXPECT_NE (retry->version.data(), original->version.data());

    copy.reset();
    EXPECT_EQ (original->version, std::string (40, 'v'));

    FailureState withoutRetry (nullptr, nullptr);
    auto copyWithout = withoutRetry.clone();
    EXPECT_TRUE (dynamic_cast<FailureState&> (*copyWithout).retryState == nullptr);
}

// Every call of the framework's quit() in this program reaches here first
// (the link wraps it: see CMakeLists.txt) and then the framework's own.
namespace
{
    int quitRequests = 0;
}

extern "C" void frameworkQuit() asm ("__real__ZN4juce19JUCEApplicationBase4quitEv");
extern "C" void countedQuit() asm ("__wrap__ZN4juce19JUCEApplicationBase4quitEv");

extern "C" void countedQuit()
{
    ++quitRequests;
    frameworkQuit();
}

// A quit stops this process's message loop: each of these runs alone, and
// handles its clicks at once instead of through the loop. The framework
// posts its stop message once, at the first request; the count tells the
// requests apart.
TEST (FinishQuits, QuitAsksTheApplicationToQuitAndTheFinishPageStays)
{
    MainComponent engine ([] (MainComponent* owner) { return std::make_unique<FinishState> (owner); });
    ASSERT_FALSE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    const auto before = quitRequests;

    engine.postEvent (std::make_unique<ButtonClicked>());
    engine.postEvent (std::make_unique<ButtonClicked>());
    engine.handleUpdateNowIfNeeded();

    EXPECT_EQ (quitRequests - before, 2) << "each click asks to quit";
    EXPECT_TRUE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    auto& preparation = *engine.getChildComponent (1);
    EXPECT_EQ (dynamic_cast<juce::Label&> (*preparation.getChildComponent (0)).getText(), "Update Complete");
}

TEST (FailureWithoutRetryQuits, ItsButtonReadsQuitAndQuits)
{
    MainComponent engine ([] (MainComponent* owner) { return std::make_unique<FailureState> (owner, nullptr); });
    auto& preparation = *engine.getChildComponent (1);
    EXPECT_EQ (dynamic_cast<juce::TextButton&> (*preparation.getChildComponent (2)).getButtonText(), "Quit");
    const auto before = quitRequests;

    engine.postEvent (std::make_unique<ButtonClicked>());
    engine.handleUpdateNowIfNeeded();

    EXPECT_EQ (quitRequests - before, 1);
    EXPECT_TRUE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    EXPECT_EQ (dynamic_cast<juce::Label&> (*preparation.getChildComponent (0)).getText(), "Update Failed");
}
