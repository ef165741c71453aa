#pragma once

#include <string>
#include <vector>

namespace udi_test {

// The probe program beside the test program, run with arguments; its exit
// code, read as signed, is what it reports.
std::wstring probePath(const wchar_t *name = L"udi_probe.exe");

// -1000 when it could not be started or did not end within ten seconds.
int runProbe(const std::vector<std::wstring> &arguments, const wchar_t *name = L"udi_probe.exe",
             std::string *errorOutput = nullptr);

}  // namespace udi_test
