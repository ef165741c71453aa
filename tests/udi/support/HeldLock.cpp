#include "HeldLock.h"

#include "ChildProcess.h"

namespace udi_test {

HeldLock::HeldLock(const std::wstring &operation)
{
    const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"_" + operation;
    const std::wstring readyName = L"udi_test_ready_" + tag;
    const std::wstring goName = L"udi_test_go_" + tag;
    ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    go = CreateEventW(nullptr, TRUE, FALSE, goName.c_str());

    std::wstring command = probeCommand({ L"hold", operation, readyName, goName });
    STARTUPINFOW startup = { sizeof(startup) };
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return;
    HANDLE waits[] = { ready, process.hProcess };
    isHeld = WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0;
}

HeldLock::~HeldLock()
{
    release();
    CloseHandle(ready);
    CloseHandle(go);
}

int HeldLock::release()
{
    if (released || process.hProcess == nullptr)
        return -1;
    released = true;
    SetEvent(go);
    return waitForEnd(process, -1);
}

bool lockExists(const char *operation)
{
    const std::string name = std::string("Global\\") + operation;
    HANDLE lock = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (lock == nullptr)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    CloseHandle(lock);
    return true;
}

}  // namespace udi_test
