#include "tools/McuCommands.h"
#include "tools/ProcessRunner.h"
#include "tools/ToolPaths.h"
#include "tools/VersionFile.h"

juce::StringArray makeMcuDetectArgs()
{
    juce::StringArray args;
    args.add (dfuUtilPath());
    args.add ("-l");
    return args;
}

juce::StringArray makeMcuUpdateArgs()
{
    auto args = toolArgs (dfuUtilPath(), "-s 0x90000000:leave:mass-erase:force -d 6e3c:0222 -D kelvane-fw.bin");
    args.set (args.size() - 1, exeDir() + "Images\\" + args[args.size() - 1]);
    return args;
}

bool detectMcu()
{
    static const juce::StringArray args = makeMcuDetectArgs();
    static const juce::String expected = "6e3c:0222";
    return runAndExpect (args, expected, 4);
}

std::optional<std::string> readFirmwareVersion()
{
    return readVersionFile ("Images\\");
}

bool updateMcu()
{
    static const juce::StringArray args = makeMcuUpdateArgs();
    static const juce::String expected = "File downloaded successfully";
    return runAndExpect (args, expected, 1);
}
