#include "tools/VersionFile.h"
#include "tools/ToolPaths.h"

std::string versionTextFromContent (const juce::String& content)
{
    juce::StringArray lines;
    lines.addLines (content);
    return lines.joinIntoString (", ").toStdString();
}

std::optional<std::string> readVersionFile (const juce::String& folder)
{
    const auto file = juce::File (exeDir() + folder).getChildFile ("version.txt");

    if (file.getFullPathName().isEmpty() || ! file.exists())
        return std::nullopt;

    return versionTextFromContent (file.loadFileAsString());
}
