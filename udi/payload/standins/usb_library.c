/*
 * Stand-in for a user-mode USB library DLL of the libusb-win32 and libusbK
 * packages: it loads and exports nothing, which is all a package needs of it
 * until a program links against the real library.
 */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
