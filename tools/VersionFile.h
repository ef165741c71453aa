#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

// The version text shown for a firmware: the lines of its "version.txt"
// joined with ", ", nothing trimmed. An empty file gives an empty text.
std::string versionTextFromContent (const juce::String& content);

// Reads "version.txt" in exeDir() + folder ("Images\" or "Images\ESP32bin\").
// Absent when nothing of that name exists; a folder or an unreadable file of
// that name gives a present, empty text.
std::optional<std::string> readVersionFile (const juce::String& folder);
