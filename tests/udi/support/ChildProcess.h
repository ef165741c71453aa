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

// Waits up to ten seconds for a started process to end, ends it otherwise,
// and closes its handles. Its exit code, or unfinished when it had to be ended.
int waitForEnd(PROCESS_INFORMATION &process, int unfinished);

}  // namespace udi_test
