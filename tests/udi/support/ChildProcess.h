#pragma once

#include <string>
#include <vector>
#include <windows.h>

namespace udi_test {

// The probe program beside the test program, run with arguments; its exit
// code, read as signed, is what it reports.
std::wstring probePath(const wchar_t *name = L"udi_probe.exe");

// The command line that runs the probe with the arguments, each quoted.
std::wstring probeCommand(const std::vector<std::wstring> &arguments,
                          const wchar_t *name = L"udi_probe.exe");

// -1000 when it could not be started or did not end within ten seconds.
int runProbe(const std::vector<std::wstring> &arguments, const wchar_t *name = L"udi_probe.exe",
             std::string *errorOutput = nullptr);

// Runs a command line; its exit code, or -1000 as for the probe. With output,
// what the program writes to standard error, and to standard output too when
// asked, is read into it.
int runCommand(std::wstring command, std::string *output, bool withStandardOutput);

// Waits up to ten seconds for a process to end, ends it otherwise. Its exit
// code, or unfinished when it had to be ended.
int exitCodeOf(HANDLE process, int unfinished);

// exitCodeOf the started process, whose handles it then closes.
int waitForEnd(PROCESS_INFORMATION &process, int unfinished);

}  // namespace udi_test
