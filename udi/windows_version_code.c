/* The rules that turn what Windows reports about itself into one code. */
#include "windows_version.h"

#include <stddef.h>

#define PLATFORM_WIN32_NT   2u
#define HIGHEST_PROBED      9u

int windows_version_code_from(unsigned platform, unsigned major, unsigned minor,
                              const windows_version_probe *probe)
{
    unsigned probed_major;
    unsigned probed_minor;
    int code;

    if (platform != PLATFORM_WIN32_NT)
        return -1;

    if (probe != NULL && (major > 6 || (major == 6 && minor >= 2))) {
        for (probed_major = major; probed_major <= HIGHEST_PROBED; probed_major++) {
            if (!probe->major_is(probe->context, probed_major))
                continue;
            if (probed_major > major) {
                major = probed_major;
                minor = 0;
            }
            for (probed_minor = minor; probed_minor <= HIGHEST_PROBED; probed_minor++) {
                if (probe->version_is(probe->context, major, probed_minor)) {
                    minor = probed_minor;
                    break;
                }
            }
            break;
        }
    }

    if (major > 15 || minor > 15)
        return -1;
    code = (int)(major * 16 + minor);
    return code < 0x61 ? 0 : code;
}
