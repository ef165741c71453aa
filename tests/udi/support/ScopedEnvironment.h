#pragma once

#include <string>

namespace udi_test {

// Sets an environment variable of this process for the object's lifetime.
class ScopedEnvironment {
public:
    // A value of nullptr removes the variable.
    ScopedEnvironment(const wchar_t *name, const wchar_t *value);
    ~ScopedEnvironment();

    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::wstring name, oldValue;
    bool hadValue = false;
};

}  // namespace udi_test
