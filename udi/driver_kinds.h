/*
 * What the library knows of each driver kind: the name it shows, its INF
 * and catalog templates, the embedded file whose version a package states,
 * and the compatible id that a package matching by compatible id uses.
 */
#ifndef UDI_DRIVER_KINDS_H
#define UDI_DRIVER_KINDS_H

#include "libudi.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct driver_kind_info {
    const char *display_name;
    const char *inf_template;   /* NULL for UDI_DRIVER_USER */
    const char *cat_template;   /* NULL for UDI_DRIVER_USER */
    const char *version_file;   /* "" when the kind has none, NULL for UDI_DRIVER_USER */
    const char *compatible_id;  /* NULL for UDI_DRIVER_USER */
} driver_kind_info;

/* The row of kind 0 to UDI_DRIVER_USER, or NULL for any other value. */
const driver_kind_info *driver_kind_info_of(udi_driver_kind kind);

#ifdef __cplusplus
}
#endif

#endif
