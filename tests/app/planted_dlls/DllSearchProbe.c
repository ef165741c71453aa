/*
 * Imports a function of each system DLL that the updater delay-loads, and
 * prints where each came from, one line each: "<name> <path>".
 *
 * Built twice. Plainly linked, the loader brings every one of them in before
 * main, as it did for the updater, and a planted file's functions are not
 * there to call: it only prints. Built as the updater is (delay-import
 * libraries and app/SystemDllSearch.cpp), a DLL loads at its first call, so
 * it calls one harmless function of each first.
 */
#include <windows.h>
#include <commdlg.h>
#include <dxgi.h>
#include <imm.h>
#include <mmsystem.h>
#include <wininet.h>

#include <stdio.h>

static const wchar_t *const names[] = {
    L"dxgi.dll", L"VERSION.dll", L"WININET.dll", L"WINMM.dll", L"comdlg32.dll", L"IMM32.dll",
};

/* Referenced, so that a plain link imports every one of them. */
static void *volatile imported[] = {
    (void *)CreateDXGIFactory, (void *)GetFileVersionInfoSizeW, (void *)InternetGetConnectedState,
    (void *)timeGetTime,       (void *)CommDlgExtendedError,    (void *)ImmGetContext,
};

#ifdef PROBE_CALLS_EACH
static void call_each(void)
{
    IDXGIFactory *factory = NULL;
    if (SUCCEEDED(CreateDXGIFactory(&IID_IDXGIFactory, (void **)&factory)) && factory != NULL)
        factory->lpVtbl->Release(factory);

    DWORD ignored = 0;
    GetFileVersionInfoSizeW(L"kernel32.dll", &ignored);
    InternetGetConnectedState(&ignored, 0);
    timeGetTime();
    CommDlgExtendedError();
    ImmGetContext(NULL);
}
#endif

int main(void)
{
    (void)imported;
#ifdef PROBE_CALLS_EACH
    call_each();
#endif
    int missing = 0;
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++) {
        wchar_t path[MAX_PATH] = L"";
        HMODULE module = GetModuleHandleW(names[i]);

        if (module == NULL || GetModuleFileNameW(module, path, MAX_PATH) == 0) {
            wprintf(L"%ls (not loaded)\n", names[i]);
            missing = 1;
        } else {
            wprintf(L"%ls %ls\n", names[i], path);
        }
    }
    return missing;
}
