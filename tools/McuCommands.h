#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

// The MCU is detected and flashed with dfu-util. Each operation runs on the
// worker thread and blocks until its tool runs are over.

juce::StringArray makeMcuDetectArgs(); // dfu-util -l
juce::StringArray makeMcuUpdateArgs(); // dfu-util -s ... -D <exeDir>Images\kelvane-fw.bin

bool detectMcu();                                 // "6e3c:0222" listed, up to 5 runs
std::optional<std::string> readFirmwareVersion(); // Images\version.txt
bool updateMcu();                                 // "File downloaded successfully", up to 2 runs
