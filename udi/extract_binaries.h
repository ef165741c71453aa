/* Writing the embedded payload into a driver package folder. */
#ifndef UDI_EXTRACT_BINARIES_H
#define UDI_EXTRACT_BINARIES_H

#include "embedded_files.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Writes every payload row of embedded_files below folder (UTF-8), creating
 * the rows' subfolders owned by the current user and overwriting files of
 * the same names. Stops at the first failing row and leaves what it wrote.
 * UDI_OK; UDI_ERR_BAD_ARGUMENT for a NULL folder; UDI_ERR_OUT_OF_RESOURCES
 * when a path would pass MAX_PATH - 1 characters or a file cannot be
 * created; UDI_ERR_FILE_ACCESS when a file cannot be written whole; or a
 * result of check_dir.
 */
int extract_binaries(const char *folder);

/*
 * Writes the row's bytes into path (UTF-8), created or truncated owned by the
 * current user. UDI_OK; UDI_ERR_OUT_OF_RESOURCES when the file cannot be
 * created (the last error says why); UDI_ERR_FILE_ACCESS when it was created
 * but not written whole.
 */
int write_embedded_file(const char *path, const embedded_file *row);

#ifdef __cplusplus
}
#endif

#endif
