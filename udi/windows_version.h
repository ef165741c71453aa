/*
 * The running Windows as major * 16 + minor: -1 not detected yet (or the
 * detection did not decide), 0 older than 6.1, 0x61 Windows 7, 0x62 8,
 * 0x63 8.1, 0x64 the first 10 preview, 0xA0 10 and later.
 */
#ifndef UDI_WINDOWS_VERSION_H
#define UDI_WINDOWS_VERSION_H

extern int windows_version_code;

/* Sets windows_version_code from the system. */
void detect_windows_version(void);

/*
 * The detection's rules without the system: whether the reported version
 * may understate the real one, so that probing is needed.
 */
typedef struct windows_version_probe {
    /* Nonzero when the running system's major (or minor) equals the value. */
    int (*major_is)(void *context, unsigned major);
    int (*minor_is)(void *context, unsigned minor);
    void *context;
} windows_version_probe;

/*
 * The code for a system that reports platform, major and minor; the probe
 * (may be NULL) checks reports of 6.2 and above, which a system without a
 * compatibility manifest caps.
 */
int windows_version_code_from(unsigned platform, unsigned major, unsigned minor,
                              const windows_version_probe *probe);

#endif
