#include "ScopedEnvironment.h"

#include <vector>
#include <windows.h>

namespace udi_test {

ScopedEnvironment::ScopedEnvironment(const wchar_t *variable, const wchar_t *value)
    : name(variable)
{
    const DWORD length = GetEnvironmentVariableW(variable, nullptr, 0);
    if (length > 0) {
        std::vector<wchar_t> buffer(length);
        GetEnvironmentVariableW(variable, buffer.data(), length);
        oldValue = buffer.data();
        hadValue = true;
    }
    SetEnvironmentVariableW(variable, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableW(name.c_str(), hadValue ? oldValue.c_str() : nullptr);
}

}  // namespace udi_test
