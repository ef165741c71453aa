// The real dfu-util that ships beside the updater, run through the program's
// own command lines from a folder whose path holds a blank, with no device and
// no firmware image: what a user meets before the device is in update mode.
#include "ToolFolder.h"

#include "tools/McuCommands.h"
#include "tools/ProcessRunner.h"

namespace
{
    // All that dfu-util 0.11 prints when it finds no DFU device.
    const juce::String banner = "dfu-util 0.11\r\n"
                                "\r\n"
                                "Copyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\r\n"
                                "Copyright 2010-2021 Tormod Volden and Stefan Schmidt\r\n"
                                "This program is Free Software and has ABSOLUTELY NO WARRANTY\r\n"
                                "Please report bugs to http://sourceforge.net/p/dfu-util/tickets/\r\n"
                                "\r\n";
}

class RealDfuUtil : public ToolFolderTest
{
};

TEST_F (RealDfuUtil, ListingWithoutADeviceShowsOnlyTheBanner)
{
    const auto args = makeMcuDetectArgs();
    const auto result = runProcess (args);

    EXPECT_EQ (result.exitCode, 0);
    EXPECT_EQ (result.output, banner);
    EXPECT_FALSE (result.output.contains ("6e3c:0222"));

    // The tool's own CR LF gains a second CR in the text-mode log.
    const auto stored = banner.replace ("\n", "\r\n").toStdString();
    EXPECT_EQ (logBytes(), args.joinIntoString (" ").toStdString() + "\r\n" + stored + "\r\n"
                               + "====================\r\n\r\n");
}

TEST_F (RealDfuUtil, ADownloadOfAMissingImageFailsAndNamesTheWholePath)
{
    const auto args = makeMcuUpdateArgs();
    ASSERT_FALSE (juce::File (args[args.size() - 1]).exists());

    const auto result = runProcess (args);

    // 66 is EX_NOINPUT. The path reaches the tool as one argument, blanks and all.
    EXPECT_EQ (result.exitCode, 66);
    EXPECT_TRUE (result.output.startsWith (banner)) << result.output;
    EXPECT_TRUE (result.output.contains ("Could not open file " + args[args.size() - 1] + " for reading"))
        << result.output;
    EXPECT_FALSE (result.output.contains ("File downloaded successfully"));
}
