// The updater runs elevated from a folder that its user can write to, and it
// writes its driver package into that same folder. A DLL that is looked for
// by name is looked for in the program's folder first, so from here on every
// search is limited to System32. The DLLs the program imports by such names
// load on first call (cmake/DelayLoad.cmake), which comes after this.
//
// This is no part of WinMain: C++ static initialisers run before it, and
// JUCE's already call into them (its high-resolution counter asks winmm for
// a 1 ms timer period). A constructor of the first priority runs before
// every initialiser of the default one, JUCE's included.
#include <windows.h>

namespace
{
    __attribute__ ((constructor (101))) void searchSystem32Only()
    {
        // Looked up, not imported: Windows 7 has it only with update
        // KB2533623, and a missing import would stop the program starting.
        using SetDefaultDllDirectoriesFunction = BOOL (WINAPI*) (DWORD);
        auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction> (
            reinterpret_cast<void*> (GetProcAddress (GetModuleHandleW (L"kernel32.dll"), "SetDefaultDllDirectories")));

        if (setDefaultDllDirectories != nullptr)
            setDefaultDllDirectories (LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}
