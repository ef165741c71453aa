#pragma once

#include "app/MainComponent.h"
#include "tools/ToolFolder.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The flows' states run in the real engine, with the fake tools beside the
// test program as dfu-util.exe and esptool.exe and an "Images" folder of the
// test's own. The tests read the window as the framework builds it: which
// page is visible, its texts, the picture and the toast.
//
// A busy page lasts as long as the task behind it, and a task may end before
// the message thread has come back from showing the page: the engine then
// replaces the page in the same handling of its events. So a test that looks
// at a busy page holds that task first (a tool run or the driver library's
// device listing) and lets it go on once it has seen the page.
class FlowTest : public ToolFolderTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the engine, whose constructor enters the state made here.
    void start (const MainComponent::StateFactory& makeFirstState);
    MainComponent& engine() { return *component; }

    // What the window shows, in one line: the page's mode, the step
    // picture's key, and the page's texts (see the builders below).
    std::string page();

    // Runs the message loop until the page reads `expected`, looking after
    // every message. A failure names the page that was showing instead.
    testing::AssertionResult waitForPage (const std::string& expected, int timeoutMs = 20000);

    // The toast's text, and whether it is up (its timer runs from its show
    // until its fade-out). Empty and down before any show.
    juce::String toastText();
    bool toastIsUp();

    // Clicks the visible page's action button as the framework does.
    void click();

    // The two firmware folders' "version.txt": written with these bytes, or
    // removed when absent.
    static void setMcuVersionFile (const std::optional<std::string>& content);
    static void setWirelessVersionFile (const std::optional<std::string>& content);

    // The pages as page() reads them.
    static std::string stepPage (int picture, const juce::String& title, const juce::String& description,
                                 const juce::String& button);
    static std::string busyPage (int picture, const juce::String& title);
    static std::string deviceInfoPage (const juce::String& version, const juce::String& button);
    static std::string updatingPage (const juce::String& title, const juce::String& message);

    // The arguments the fake tool was run with, one entry per run, with the
    // tool's path left off: "-l", "-s ... -D ...", "read_mac" ...
    std::vector<juce::String> runs() const;

    // The fake tools follow these lines, each run once it is let go on: a
    // run is recorded at its start and then waits while the test holds the
    // runs. Runs go on at once until the test holds them.
    void setToolScript (const juce::StringArray& lines);
    void holdToolRuns();
    void letToolRunsGo();

    // From now on every device listing of the driver library (the driver
    // check's, and the installation's before it prepares) waits at its
    // start until the test lets it go on, one listing per call of
    // letOneListingGo, given before or while it waits.
    static void holdDeviceListings();
    static void letOneListingGo();
    // The listings that have come to the hold since it was set.
    static int listingsHeld();

private:
    int pictureKey();

    std::unique_ptr<MainComponent> component;
    juce::TemporaryFile toolRunsGo { ".go" };
};
