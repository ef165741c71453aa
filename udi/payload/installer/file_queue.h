/*
 * Copying the files of a driver package through a file queue of our own.
 * The system's default queue callback asks the user for every file it cannot
 * find, and this process runs hidden and elevated where nobody can answer:
 * here a missing file is looked for once in the package's platform folder,
 * and failing that the copy stops.
 */
#ifndef INSTALLER_FILE_QUEUE_H
#define INSTALLER_FILE_QUEUE_H

#include <windows.h>
#include <setupapi.h>

#include "pipe_client.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The package's folder of files for the platform this installer is built for. */
#define PLATFORM_FOLDER L"amd64"

/*
 * Commits the queue; every copy is reported as progress. Returns 0, or the
 * status of the failure (STATUS_FILE_ACCESS for a file that is not there or
 * cannot be copied). *restart_needed becomes nonzero when a file in use is
 * only replaced at the next start of Windows.
 */
int commit_file_queue(pipe_client *pipe, HSPFILEQ queue, const wchar_t *package_folder,
                      int *restart_needed);

#ifdef __cplusplus
}
#endif

#endif
