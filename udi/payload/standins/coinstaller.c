/*
 * Stand-in for a co-installer DLL of the WinUSB package. It answers every
 * device-installation request with "nothing to do", so that the class
 * installer goes on as if the co-installer were not there.
 *
 * COINSTALLER_ENTRY names the exported entry point that the INF's
 * CoInstallers32 value expects.
 */
#include <windows.h>
#include <setupapi.h>

#ifndef COINSTALLER_ENTRY
#error "COINSTALLER_ENTRY must name the exported entry point"
#endif

__declspec(dllexport) DWORD CALLBACK COINSTALLER_ENTRY(DI_FUNCTION install_function,
                                                       HDEVINFO device_info_set,
                                                       PSP_DEVINFO_DATA device_info_data,
                                                       PCOINSTALLER_CONTEXT_DATA context)
{
    (void)install_function;
    (void)device_info_set;
    (void)device_info_data;
    (void)context;
    return NO_ERROR;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
