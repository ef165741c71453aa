/*
 * Installing a driver package on one present device with the system's own
 * device-installation functions, as the device installer of Windows does:
 * the best driver of the one INF for the device, its files copied through
 * our own file queue, the co-installers registered, the device interfaces
 * and the device installed.
 */
#ifndef INSTALLER_DEVICE_INSTALL_H
#define INSTALLER_DEVICE_INSTALL_H

#include <windows.h>

#include "pipe_client.h"

/*
 * Installs the INF at inf_path (a full path; its folder is the package
 * folder) on the present device whose instance id is device_id. Every step
 * is reported as progress, and the steps that may take long are bracketed
 * as such. Returns 0 or a status (protocol.h).
 */
int install_device(pipe_client *pipe, const wchar_t *inf_path, const wchar_t *device_id);

#endif
