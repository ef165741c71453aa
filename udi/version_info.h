/*
 * The version record (VS_FIXEDFILEINFO) that a driver package of each kind
 * states: the file version of the kind's embedded main file, dated with the
 * time stamp that the build recorded for that file.
 */
#ifndef UDI_VERSION_INFO_H
#define UDI_VERSION_INFO_H

#include <stdint.h>
#include <windows.h>

#include "libudi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One record per kind 0 to UDI_DRIVER_USB_CDC; a zero signature means empty. */
extern VS_FIXEDFILEINFO driver_version_cache[UDI_DRIVER_USB_CDC + 1];

/*
 * Fills *out with the kind's record, from the cache when it holds one, else
 * by writing the kind's version file into TEMP, reading its version
 * resource and deleting it again. UDI_OK; UDI_ERR_BAD_ARGUMENT for a kind
 * outside 0 to UDI_DRIVER_USB_CDC or a NULL out; UDI_ERR_MISSING when the
 * kind has no version file; UDI_ERR_OUT_OF_RESOURCES when the version
 * functions, TEMP, the file or its version resource fail; or a result of
 * check_dir on TEMP. *out is changed only on UDI_OK.
 */
int get_version_info(udi_driver_kind kind, VS_FIXEDFILEINFO *out);

/* A Windows file time (100 ns units since 1601) of seconds since 1970 UTC. */
uint64_t file_time_of_unix_time(int64_t seconds);

#ifdef __cplusplus
}
#endif

#endif
