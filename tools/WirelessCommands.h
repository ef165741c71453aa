#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

// The wireless module, an ESP32-S3, is detected and flashed with esptool.
// Each operation runs on the worker thread and blocks until its runs are over.

struct WirelessFlashImage
{
    const char* fileName;
    const char* offset;
};

// In flashing order.
constexpr WirelessFlashImage wirelessFlashImages[] = {
    { "bootloader.bin", "0x0" },
    { "partition-table.bin", "0x8000" },
    { "ota_data_initial.bin", "0xd000" },
    { "esp32-fw.bin", "0x10000" },
};

juce::StringArray makeWirelessDetectArgs();
juce::StringArray makeWirelessUpdateArgs();

bool detectWirelessModule();                              // "Chip is ESP32-S3", up to 2 runs
std::optional<std::string> readWirelessFirmwareVersion(); // Images\ESP32bin\version.txt
bool updateWirelessModule();                              // "Leaving...", up to 2 runs
