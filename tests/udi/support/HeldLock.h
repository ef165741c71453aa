#pragma once

#include <string>
#include <windows.h>

namespace udi_test {

// An operation lock held by a second process (the probe) while the object lives.
class HeldLock {
public:
    explicit HeldLock(const std::wstring &operation);
    ~HeldLock();

    HeldLock(const HeldLock &) = delete;
    HeldLock &operator=(const HeldLock &) = delete;

    bool held() const { return isHeld; }
    // Lets the probe go and waits for its end; its exit code.
    int release();

private:
    HANDLE ready = nullptr;
    HANDLE go = nullptr;
    PROCESS_INFORMATION process = {};
    bool isHeld = false;
    bool released = false;
};

// Whether "Global\<operation>" exists at all.
bool lockExists(const char *operation);

}  // namespace udi_test
