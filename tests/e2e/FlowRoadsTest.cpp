// The MCU flow's roads through the real updater's window: the main road with
// a device that has no driver yet, and each failure with its toast and the
// page its Retry leads to.
#include "UpdaterRun.h"

#include "support/FakeUsbDevices.h"
#include "support/DeviceListing.h"
#include "support/HeldLock.h"

#include "support/MessageLoop.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

using testsupport::PageLook;

namespace
{
    constexpr int windowTimeoutMs = 30000;
    constexpr int pageTimeoutMs = 20000;

    const juce::String updatingTitle = "Updating the MCU ...";

    const PageLook firstPage = PageLook::step (1, "Update MCU", firstInstruction, "Next");
    const PageLook checkingDriver = PageLook::busy (1, "Checking the USB driver ...");
    const PageLook installingDriver = PageLook::busy (1, "Installing the USB driver ...");
    const PageLook checkingMcu = PageLook::busy (1, "Checking the MCU ...");
    const PageLook updating = PageLook::updating (updatingTitle, updatingMessage);
    const PageLook finished =
        PageLook::step (2, "Update Complete", "Please turn on your Kelvane back on and you are ready to rock!", "Quit");
    const PageLook failed = PageLook::step (3, "Update Failed",
                                            "Please try again. If the error persists, please contact our support "
                                            "team from the help center below.",
                                            "Retry");

    // What the stand-in for dfu-util prints: a listing that shows the device
    // in firmware-update mode, and a download that ends well or not.
    const juce::String listing = "Found DFU: [6e3c:0222] ver=0200, devnum=3, cfg=1, intf=0, path=\"1-2\", alt=0, "
                                 "name=\"@Internal Flash  /0x90000000/64*128Kg\", serial=\"KV00012345\"\n";
    const juce::String downloaded = "Opening DFU capable USB device...\nDownload\t[=========================] 100%"
                                    "\nDownload done.\nFile downloaded successfully\n";
    const juce::String notDownloaded = "Opening DFU capable USB device...\ndfu-util: Cannot open DFU device 6e3c:0222\n";

    juce::String roadName()
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        return juce::String (test->test_suite_name()) + "." + test->name();
    }

    // A window that a close left behind, for the failure: one that still
    // answers never got the close, one that does not is held in its ending.
    std::string windowState (HWND window)
    {
        if (! IsWindow (window))
            return "gone";

        DWORD_PTR answer = 0;
        return SendMessageTimeoutW (window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) != 0
                   ? "still there, and it answers messages"
                   : "still there, and it answers no message within 2 s";
    }

    // The log's record of one tool run, as the text-mode file stores it.
    std::string record (const juce::String& commandLine, const juce::String& output)
    {
        return (commandLine + "\n" + output + "\n====================\n\n").replace ("\n", "\r\n").toStdString();
    }

    std::string firstLine (const std::string& text)
    {
        return text.substr (0, text.find ("\r\n") + 2);
    }

    // Whether the log, from byte `at`, holds the expected records from
    // `next` on and nothing else; counts the records of runs whose tool did
    // not start. Under load Wine now and then fails to start a program
    // (CreateProcess answers ERROR_INTERNAL_ERROR, about once in 600 starts
    // beside stress-ng), and the updater does what it does for any tool that
    // does not start: the run's record is its command line alone, and the
    // run counts as one of its tries. Such a record, where a run whose tool
    // started is expected, stands for that run, or was a try more of a run
    // that looks for a text: whichever way the rest of the log fits.
    bool holdsFrom (const std::string& log, size_t at, const std::vector<std::string>& expected, size_t next,
                    int& notStarted)
    {
        if (next == expected.size())
            return at == log.size();

        const auto& wanted = expected[next];

        if (log.compare (at, wanted.size(), wanted) == 0 && holdsFrom (log, at + wanted.size(), expected, next + 1, notStarted))
            return true;

        const auto commandLine = firstLine (wanted);

        if (wanted.size() == commandLine.size() || log.compare (at, commandLine.size(), commandLine) != 0)
            return false;

        const auto after = at + commandLine.size();

        if (holdsFrom (log, after, expected, next + 1, notStarted) || holdsFrom (log, after, expected, next, notStarted))
        {
            ++notStarted;
            return true;
        }

        return false;
    }

    testing::AssertionResult holdsTheRecords (const std::string& log, const std::vector<std::string>& expected)
    {
        int notStarted = 0;

        if (holdsFrom (log, 0, expected, 0, notStarted))
        {
            if (notStarted > 0)
                std::cout << "(the log holds " << notStarted << " run(s) whose tool Wine did not start)\n";
            return testing::AssertionSuccess();
        }

        std::string all;
        for (const auto& wanted : expected)
            all += wanted;
        return testing::AssertionFailure() << "the log is not its records\n  log:      "
                                           << testing::PrintToString (log) << "\n  expected: "
                                           << testing::PrintToString (all);
    }
}

// A user's folder with the stand-in as dfu-util, the firmware and its
// version file, and the updater started from it.
//
// A page that a road looks at must stay up until the road has seen it,
// whatever the machine's load. The stand-in's runs stay up while the road
// holds them. The driver check's page stays for the check's own pause of
// two seconds, which the updater keeps before it lists the devices. A real
// installation holds its page while it starts its installer program and
// waits on it, a second or more in which the message thread is free to
// paint. A refused installation and the real dfu-util's detection hold
// nothing, so no road needs their pages: what shows that they ran is the
// package in the folder, the log's records and the toast.
class McuRoad : public testing::Test
{
protected:
    void SetUp() override
    {
        udi_test::FakeUsbDevices::removeAll();
        ASSERT_TRUE (! updaterLog().exists() || updaterLog().deleteFile());
        folder.putDfuUtil (roadPrograms().fakeTool);
        folder.putFirmware();
        folder.putVersionFile ("2.4.1");
        letToolRunsGo();
        tool ("out " + escaped (listing));
    }

    void TearDown() override
    {
        letToolRunsGo();
        SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", nullptr);
    }

    // What the stand-in does from its next run on; every run is recorded at
    // its start, and goes on once the road lets the runs go on.
    void tool (const juce::String& lines)
    {
        ASSERT_TRUE (script.getFile().replaceWithText ("args " + runs.getFile().getFullPathName() + "\nwait "
                                                       + toolRunsGo.getFile().getFullPathName() + "\n" + lines
                                                       + "\n"));
        SetEnvironmentVariableW (L"KELVANE_FAKE_TOOL_SCRIPT", script.getFile().getFullPathName().toWideCharPointer());
    }

    // The stand-in's runs wait at their start from now on, until the road
    // lets them go on; they go on at once until it holds them.
    void holdToolRuns() { ASSERT_TRUE (toolRunsGo.getFile().deleteFile()); }
    void letToolRunsGo() { ASSERT_TRUE (toolRunsGo.getFile().create()); }

    static juce::String escaped (const juce::String& text)
    {
        return text.replace ("\\", "\\\\").replace ("\n", "\\n").replace ("\t", "\\t");
    }

    // The runs of the stand-in so far, each its arguments after the path.
    juce::StringArray toolRuns() const
    {
        juce::StringArray lines, found;
        lines.addLines (runs.getFile().loadFileAsString());
        juce::String current;

        for (const auto& line : lines)
        {
            if (line == "--")
            {
                found.add (current.trim());
                current = {};
            }
            else if (! line.endsWithIgnoreCase ("dfu-util.exe"))
            {
                current << line << " ";
            }
        }

        return found;
    }

    void start()
    {
        updater = std::make_unique<RunningUpdater> (folder.updater());
        // Made first: a road goes on after a failed start, and its every
        // look then fails at once rather than the test program falling over.
        screen = std::make_unique<Screen> (*updater, roadName());
        ASSERT_TRUE (updater->started());
        ASSERT_TRUE (updater->waitForWindow (windowTimeoutMs));
        ASSERT_TRUE (screen->shows (firstPage.withoutToast(), windowTimeoutMs));
    }

    void click (const PageLook& next)
    {
        ASSERT_TRUE (screen->clickButton());
        ASSERT_TRUE (screen->shows (next, pageTimeoutMs));
    }

    void shows (const PageLook& look) { ASSERT_TRUE (screen->shows (look, pageTimeoutMs)); }

    void quits()
    {
        ASSERT_TRUE (screen->clickButton());
        DWORD exitCode = 99;
        ASSERT_TRUE (updater->endsWithin (10000, exitCode)) << "Quit did not end the program";
        EXPECT_EQ (exitCode, 0u);
    }

    juce::String dfuUtil() const { return folder.root.getChildFile ("dfu-util.exe").getFullPathName(); }
    juce::String detection() const { return dfuUtil() + " -l"; }
    juce::String download() const
    {
        return dfuUtil() + " -s 0x90000000:leave:mass-erase:force -d 6e3c:0222 -D "
               + folder.images().getChildFile ("kelvane-fw.bin").getFullPathName();
    }

    UserFolder folder;
    juce::TemporaryFile script { ".txt" };
    juce::TemporaryFile runs { ".txt" };
    juce::TemporaryFile toolRunsGo { ".go" };
    std::unique_ptr<RunningUpdater> updater;
    std::unique_ptr<Screen> screen;
};

class MainRoad : public McuRoad
{
};

TEST_F (MainRoad, ADeviceWithoutADriverIsGivenWinUsbAndFlashed)
{
    udi_test::FakeUsbDevices devices;
    ASSERT_TRUE (devices.add ({ L"USB\\VID_6E3C&PID_0222\\UDITEST0001",
                                { L"USB\\VID_6E3C&PID_0222&REV_0200", L"USB\\VID_6E3C&PID_0222" },
                                { L"USB\\Class_FE&SubClass_01&Prot_02", L"USB\\Class_FE" },
                                L"Kelvane DFU", {}, {}, {} }));
    start();
    holdToolRuns();
    click (checkingDriver);
    EXPECT_TRUE (screen->keepLast ("page_checking_driver"));
    shows (installingDriver);
    EXPECT_TRUE (screen->keepLast ("page_installing_driver"));
    shows (checkingMcu);
    EXPECT_TRUE (screen->keepLast ("page_checking_mcu"));
    letToolRunsGo();
    shows (PageLook::deviceInfo ("2.4.1", "Update MCU"));
    EXPECT_TRUE (screen->keep ("page_version"));

    tool ("out " + escaped (downloaded));
    holdToolRuns();
    click (updating);
    EXPECT_TRUE (screen->keepLast ("page_updating"));
    letToolRunsGo();
    shows (finished);
    EXPECT_TRUE (screen->keep ("page_finish"));
    quits();

    // The installation ran: its package is beside the updater.
    EXPECT_TRUE (folder.root.getChildFile ("deviceDrv.inf").existsAsFile());

    const udi_list_options options { 1, 0, 0 };
    const auto listed = udi_test::listDevices (&options);
    const auto* device = listed.find ("UDITEST0001");
    ASSERT_NE (device, nullptr);
    EXPECT_TRUE (device->hasService);
    EXPECT_EQ (device->service, "WinUSB");

    EXPECT_TRUE (holdsTheRecords (fileBytes (updaterLog()), { record (detection(), listing),
                                                               record (download(), downloaded) }));
}

TEST_F (MainRoad, AQuickDoubleClickOnUpdateMcuRunsOneDownload)
{
    start();
    click (PageLook::deviceInfo ("2.4.1", "Update MCU"));

    tool ("out " + escaped (downloaded));
    holdToolRuns();
    ASSERT_TRUE (screen->clickButton (2));
    shows (updating);
    letToolRunsGo();
    shows (finished);

    EXPECT_EQ (toolRuns(), juce::StringArray ("-l", download().fromFirstOccurrenceOf (dfuUtil() + " ", false, false)));
}

class FailureRoads : public McuRoad
{
};

TEST_F (FailureRoads, AFailedInstallationTellsSoAndRetryStartsAgain)
{
    udi_test::FakeUsbDevices devices;
    ASSERT_TRUE (devices.add ({ L"USB\\VID_6E3C&PID_0222\\UDITEST0002",
                                { L"USB\\VID_6E3C&PID_0222" }, {}, L"Kelvane DFU", {}, {}, {} }));
    // Another installation runs: the library refuses a second one at once.
    udi_test::HeldLock installing (L"install_driver_internal");
    ASSERT_TRUE (installing.held());

    start();
    // The package is written before the installation is refused, which
    // takes a moment only: a page that may be gone before it is painted. The
    // package beside the updater shows that the installation ran.
    click (failed.withToast ("Failed to install USB driver!"));
    EXPECT_TRUE (folder.root.getChildFile ("deviceDrv.inf").existsAsFile());
    click (firstPage);
    EXPECT_TRUE (toolRuns().isEmpty());
}

TEST_F (FailureRoads, NoDeviceForTheRealDfuUtilTellsSoAfterFiveRuns)
{
    folder.putDfuUtil (roadPrograms().realDfuUtil);
    start();
    click (failed.withToast ("Cannot detect the device!"));
    click (firstPage);

    // dfu-util 0.11 prints only its banner when no DFU device is there.
    const juce::String banner = "dfu-util 0.11\r\n\r\n"
                                "Copyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\r\n"
                                "Copyright 2010-2021 Tormod Volden and Stefan Schmidt\r\n"
                                "This program is Free Software and has ABSOLUTELY NO WARRANTY\r\n"
                                "Please report bugs to http://sourceforge.net/p/dfu-util/tickets/\r\n\r\n";
    const auto one = ((detection() + "\n").replace ("\n", "\r\n") + banner.replace ("\n", "\r\n")
                      + juce::String ("\n====================\n\n").replace ("\n", "\r\n"))
                         .toStdString();
    EXPECT_TRUE (holdsTheRecords (fileBytes (updaterLog()), { one, one, one, one, one }));
}

TEST_F (FailureRoads, AMissingVersionFileIsADeviceNotFound)
{
    folder.images().getChildFile ("version.txt").deleteFile();
    start();
    click (failed.withToast ("Cannot detect the device!"));
    click (firstPage);
    EXPECT_EQ (toolRuns(), juce::StringArray ("-l"));
}

TEST_F (FailureRoads, AFailedDownloadRetriesOnTheSameVersionWithoutANewDetection)
{
    folder.putVersionFile ("2.4.1\r\nbeta");
    start();
    click (PageLook::deviceInfo ("2.4.1, beta", "Update MCU"));

    tool ("out " + escaped (notDownloaded) + "\nexit 74");
    holdToolRuns();
    click (updating);
    letToolRunsGo();
    shows (failed.withToast ("Failed to update MCU!"));
    EXPECT_TRUE (screen->keep ("page_failure"));
    click (PageLook::deviceInfo ("2.4.1, beta", "Update MCU"));

    tool ("out " + escaped (downloaded));
    holdToolRuns();
    click (updating);
    letToolRunsGo();
    shows (finished);

    const auto update = download().fromFirstOccurrenceOf (dfuUtil() + " ", false, false);
    EXPECT_EQ (toolRuns(), juce::StringArray ("-l", update, update, update));
}

TEST_F (FailureRoads, AnEmptyVersionFileShowsAnEmptyVersionAndStillDownloads)
{
    folder.putVersionFile ("");
    start();
    click (PageLook::deviceInfo ("", "Update MCU"));

    tool ("out " + escaped (downloaded));
    holdToolRuns();
    click (updating);
    letToolRunsGo();
    shows (finished);
}

// Tools that go wrong in the two steps that run them, and a window closed
// while a task runs: the updater ends on the failure page or ends at once,
// never hangs or falls over, and its log keeps every record whole.
class FaultRoads : public McuRoad
{
protected:
    // The record of a run whose output is these bytes, as the text-mode file
    // stores them; without output the tool never started and the record is
    // its command line alone.
    static std::string bytesRecord (const juce::String& commandLine, const std::optional<std::string>& output)
    {
        std::string stored = commandLine.toStdString() + "\r\n";

        if (! output.has_value())
            return stored;

        for (const auto c : *output)
            stored += c == '\n' ? std::string ("\r\n") : std::string (1, c);

        return stored + "\r\n====================\r\n\r\n";
    }

    // The fault: script lines for the stand-in, or none for a dfu-util.exe
    // that is not there at all; and what the log keeps of each of its runs.
    struct Fault
    {
        std::optional<juce::String> lines;
        std::optional<std::string> output;
    };

    void arm (const Fault& fault)
    {
        if (fault.lines.has_value())
        {
            folder.putDfuUtil (roadPrograms().fakeTool);
            tool (*fault.lines);
        }
        else
        {
            ASSERT_TRUE (folder.root.getChildFile ("dfu-util.exe").deleteFile());
        }
    }

    // The detection fails with the fault, Retry, a good detection, and the
    // download fails with it: five runs, one, then two. A missing tool fails
    // its runs at once, so the toasts and the log show where each step went.
    void faultyRoad (const Fault& fault)
    {
        arm (fault);
        start();
        click (failed.withToast ("Cannot detect the device!"));

        folder.putDfuUtil (roadPrograms().fakeTool);
        tool ("out " + escaped (listing));
        click (firstPage);
        click (PageLook::deviceInfo ("2.4.1", "Update MCU"));

        arm (fault);
        click (failed.withToast ("Failed to update MCU!"));
        click (PageLook::deviceInfo ("2.4.1", "Update MCU"));

        std::vector<std::string> expected (5, bytesRecord (detection(), fault.output));
        expected.push_back (bytesRecord (detection(), listing.toStdString()));
        expected.insert (expected.end(), 2, bytesRecord (download(), fault.output));
        EXPECT_TRUE (holdsTheRecords (fileBytes (updaterLog()), expected)) << "the log is not the eight records it should be";
    }

    void endsSoonAfterTheClose()
    {
        ASSERT_TRUE (screen->closeWindow());
        DWORD exitCode = 99;
        // About two seconds here from the key press, mostly the X round trips;
        // a busy machine takes several times that, a task that held the
        // program would take the tool's whole run limit.
        ASSERT_TRUE (updater->endsWithin (15000, exitCode))
            << "closing the window did not end the program; its window is " << windowState (updater->window);
        EXPECT_EQ (exitCode, 0u);
    }
};

TEST_F (FaultRoads, AMissingToolFailsBothSteps)
{
    faultyRoad ({ std::nullopt, std::nullopt });
}

TEST_F (FaultRoads, ACrashingToolFailsBothSteps)
{
    faultyRoad ({ "out Opening DFU capable USB device...\\n\ncrash", "Opening DFU capable USB device...\n" });
}

TEST_F (FaultRoads, SixtyFourKibibytesOfBinaryFailBothSteps)
{
    // Control bytes, bytes above 0x7F and a lone carriage return, filling
    // the capture to its last byte and no further: more would block the tool
    // on the full pipe until the run limit.
    const std::string head = "\xff\xfe\x01\x80\r\x1b";
    faultyRoad ({ "out \\xff\\xfe\\x01\\x80\\r\\x1b\nfill 65530 A5",
                  head + std::string (65536 - head.size(), '\xA5') });
}

TEST_F (FaultRoads, ClosingTheWindowDuringTheDriverCheckEndsTheProgram)
{
    start();
    click (checkingDriver);
    endsSoonAfterTheClose();
    EXPECT_TRUE (toolRuns().isEmpty());
}

TEST_F (FaultRoads, ClosingTheWindowWhileTheDownloadHangsEndsTheProgramAndKeepsTheLog)
{
    start();
    click (PageLook::deviceInfo ("2.4.1", "Update MCU"));

    tool ("hang");
    click (updating);
    ASSERT_TRUE (testsupport::pumpUntil ([this] { return toolRuns().size() == 2; }, pageTimeoutMs));
    endsSoonAfterTheClose();

    // The tool is not stopped by the updater: it runs on by itself.
    EXPECT_EQ (endProgramsIn (folder.root), 1);

    // The detection's record is whole; of the download's, which the worker
    // was stopped in, the command line is there, a line of its own.
    EXPECT_TRUE (holdsTheRecords (fileBytes (updaterLog()),
                                  { record (detection(), listing), download().toStdString() + "\r\n" }));
}
