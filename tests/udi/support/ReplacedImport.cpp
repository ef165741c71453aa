#include "ReplacedImport.h"

#include <cstring>

namespace udi_test {

namespace {

template <typename T>
T *at(BYTE *base, DWORD offset)
{
    return reinterpret_cast<T *>(base + offset);
}

// The program's import address table entry of dll's function, or null.
void **importSlot(const char *dll, const char *function)
{
    auto *base = reinterpret_cast<BYTE *>(GetModuleHandleW(nullptr));
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = at<const IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;

    for (auto *library = at<IMAGE_IMPORT_DESCRIPTOR>(base, imports.VirtualAddress);
         library->Name != 0; library++) {
        if (_stricmp(at<const char>(base, library->Name), dll) != 0
            || library->OriginalFirstThunk == 0)
            continue;
        auto *names = at<IMAGE_THUNK_DATA>(base, library->OriginalFirstThunk);
        auto *addresses = at<IMAGE_THUNK_DATA>(base, library->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, addresses++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto *byName =
                at<const IMAGE_IMPORT_BY_NAME>(base, static_cast<DWORD>(names->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) == 0)
                return reinterpret_cast<void **>(&addresses->u1.Function);
        }
    }
    return nullptr;
}

void write(void **slot, void *value)
{
    DWORD was = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &was);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), was, &was);
}

}  // namespace

ReplacedImport::ReplacedImport(const char *dll, const char *function, const void *replacement)
    : slot(importSlot(dll, function))
{
    if (slot == nullptr)
        return;
    saved = *slot;
    write(slot, const_cast<void *>(replacement));
}

ReplacedImport::~ReplacedImport()
{
    if (slot != nullptr)
        write(slot, saved);
}

}  // namespace udi_test
