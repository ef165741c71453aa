#include "tools/ToolPaths.h"

const juce::String& exeDir()
{
    static const juce::String dir = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                                        .getParentDirectory()
                                        .getFullPathName()
                                    + "\\";
    return dir;
}

const juce::String& dfuUtilPath()
{
    static const juce::String path = exeDir() + "dfu-util" + ".exe";
    return path;
}

const juce::String& esptoolPath()
{
    static const juce::String path = exeDir() + "esptool" + ".exe";
    return path;
}

juce::StringArray toolArgs (const juce::String& toolPath, const juce::String& fixedText)
{
    juce::StringArray args;
    args.add (toolPath);
    args.addTokens (fixedText, " \n\r\t", "");
    return args;
}
