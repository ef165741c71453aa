#include "OpenHandles.h"

#include <algorithm>
#include <cstdint>
#include <windows.h>
#include <winternl.h>

namespace udi_test {

namespace {

using QueryObject = NTSTATUS(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);
const int objectNameInformation = 1;
const int objectTypeInformation = 2;

std::wstring objectText(QueryObject query, HANDLE handle, int what)
{
    alignas(UNICODE_STRING) unsigned char buffer[2048];
    ULONG length = 0;
    if (query == nullptr || query(handle, what, buffer, sizeof(buffer), &length) != 0)
        return {};
    const auto *text = reinterpret_cast<const UNICODE_STRING *>(buffer);
    if (text->Buffer == nullptr)
        return {};
    return std::wstring(text->Buffer, text->Length / sizeof(wchar_t));
}

std::vector<OpenHandles::Handle> openHandles()
{
    static const auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    std::vector<OpenHandles::Handle> handles;
    // Handle values are multiples of four, handed out from the lowest free
    // one: a test process never gets near the end of this range.
    for (std::uintptr_t value = 4; value < 0x2000; value += 4) {
        const auto handle = reinterpret_cast<HANDLE>(value);
        DWORD flags = 0;
        if (!GetHandleInformation(handle, &flags))
            continue;
        handles.push_back({ value, objectText(query, handle, objectTypeInformation),
                            objectText(query, handle, objectNameInformation) });
    }
    return handles;
}

// The process's standard streams are not what a test looks for: a capture
// of them (StreamCapture) puts them back under new handle values, and one
// whose old value a handle kept open meanwhile took would look new.
bool isStandardStream(std::uintptr_t value)
{
    for (const DWORD stream : { STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE }) {
        if (reinterpret_cast<std::uintptr_t>(GetStdHandle(stream)) == value)
            return true;
    }
    return false;
}

}  // namespace

OpenHandles::OpenHandles()
    : handles(openHandles())
{
}

std::vector<std::wstring> OpenHandles::openedSince() const
{
    std::vector<std::wstring> opened;
    for (const Handle &now : openHandles()) {
        if (isStandardStream(now.value))
            continue;
        const bool wasOpen = std::any_of(handles.begin(), handles.end(), [&](const Handle &then) {
            return then.value == now.value && then.type == now.type;
        });
        if (!wasOpen)
            opened.push_back(now.name.empty() ? L"(" + now.type + L")" : now.name);
    }
    std::sort(opened.begin(), opened.end());
    return opened;
}

}  // namespace udi_test
