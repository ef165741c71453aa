#include "tools/WirelessCommands.h"
#include "tools/ProcessRunner.h"
#include "tools/ToolPaths.h"
#include "tools/VersionFile.h"

juce::StringArray makeWirelessDetectArgs()
{
    return toolArgs (esptoolPath(), "--connect-attempts 8 read_mac");
}

juce::StringArray makeWirelessUpdateArgs()
{
    auto args = toolArgs (esptoolPath(),
                          "--connect-attempts 8 -b 460800 --before default_reset --after hard_reset "
                          "--chip esp32s3 write_flash --flash_mode dio --flash_freq 80m --flash_size 4MB");

    for (const auto& image : wirelessFlashImages)
    {
        args.add (image.offset);
        args.add (exeDir() + "Images\\ESP32bin\\" + image.fileName);
    }

    return args;
}

bool detectWirelessModule()
{
    static const juce::StringArray args = makeWirelessDetectArgs();
    static const juce::String expected = juce::String ("Chip is ") + "ESP32-S3";
    return runAndExpect (args, expected, 1);
}

std::optional<std::string> readWirelessFirmwareVersion()
{
    return readVersionFile ("Images\\ESP32bin\\");
}

bool updateWirelessModule()
{
    static const juce::StringArray args = makeWirelessUpdateArgs();
    static const juce::String expected = "Leaving...";
    return runAndExpect (args, expected, 1);
}
