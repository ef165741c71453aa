/* Which Windows the library runs on, asked once per process. */
#include "windows_version.h"

#include <windows.h>

int windows_version_code = -1;

static int system_major_is(void *context, unsigned major)
{
    OSVERSIONINFOEXA wanted = { sizeof(wanted) };
    ULONGLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);

    (void)context;
    wanted.dwMajorVersion = major;
    return VerifyVersionInfoA(&wanted, VER_MAJORVERSION, condition) != FALSE;
}

static int system_version_is(void *context, unsigned major, unsigned minor)
{
    OSVERSIONINFOEXA wanted = { sizeof(wanted) };
    ULONGLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);

    (void)context;
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_EQUAL);
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    return VerifyVersionInfoA(&wanted, VER_MAJORVERSION | VER_MINORVERSION, condition) != FALSE;
}

void detect_windows_version(void)
{
    static const windows_version_probe system_probe = { system_major_is, system_version_is, NULL };
    OSVERSIONINFOEXA reported = { sizeof(reported) };

    windows_version_code = -1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA((OSVERSIONINFOA *)&reported)) {
        reported.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA((OSVERSIONINFOA *)&reported))
            return;
    }
#pragma GCC diagnostic pop
    windows_version_code = windows_version_code_from(reported.dwPlatformId,
                                                     reported.dwMajorVersion,
                                                     reported.dwMinorVersion, &system_probe);
}
