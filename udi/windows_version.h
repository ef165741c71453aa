/*
 * The running Windows as major * 16 + minor: -1 not detected yet (or the
 * detection did not decide), 0 older than 6.1, 0x61 Windows 7, 0x62 8,
 * 0x63 8.1, 0x64 the first 10 preview, 0xA0 10 and later.
 */
#ifndef UDI_WINDOWS_VERSION_H
#define UDI_WINDOWS_VERSION_H

#ifdef __cplusplus
extern "C" {
#endif

extern int windows_version_code;

/* Sets windows_version_code from the system. */
void detect_windows_version(void);

/*
 * Questions the detection asks the running system beyond what it reports:
 * whether its major version is major, and whether its version is major.minor.
 */
typedef struct windows_version_probe {
    int (*major_is)(void *context, unsigned major);
    int (*version_is)(void *context, unsigned major, unsigned minor);
    void *context;
} windows_version_probe;

/*
 * The code for a system that reports platform, major and minor. A report
 * of 6.2 or above may understate the system (Windows caps it for programs
 * without a compatibility manifest), so then probe (may be NULL) is asked.
 */
int windows_version_code_from(unsigned platform, unsigned major, unsigned minor,
                              const windows_version_probe *probe);

#ifdef __cplusplus
}
#endif

#endif
