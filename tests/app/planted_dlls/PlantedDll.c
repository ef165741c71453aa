/*
 * Stands for a DLL that someone has put beside the updater under the name of
 * a system DLL. It exports nothing and does one thing when it is loaded into
 * a process: it leaves an empty file named as itself plus ".loaded", so that
 * the test sees which of the planted files got in.
 */
#include <windows.h>

#include <wchar.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t marker[MAX_PATH + 8];
        DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);

        if (length > 0 && length < MAX_PATH) {
            wcscpy(marker + length, L".loaded");
            HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }
    return TRUE;
}
