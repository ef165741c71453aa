#pragma once

#include <juce_core/juce_core.h>

// Where the tools and the firmware lie: fixed places beside the executable.
// Each text is built once, on first use, and kept until the program ends.
const juce::String& exeDir();      // the executable's folder and a backslash
const juce::String& dfuUtilPath(); // exeDir() + "dfu-util.exe"
const juce::String& esptoolPath(); // exeDir() + "esptool.exe"

// A builder's fixed text, one argument per blank-separated word, after the
// tool's path.
juce::StringArray toolArgs (const juce::String& toolPath, const juce::String& fixedText);
