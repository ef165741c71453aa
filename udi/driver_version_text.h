/* The "DriverVersion" text of a driver key as one number. */
#ifndef UDI_DRIVER_VERSION_TEXT_H
#define UDI_DRIVER_VERSION_TEXT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * "a.b.c.d" with a in the top 16 bits; each part is read like atoi, a part
 * without digits counts 0, parts beyond four shift the leftmost ones out.
 */
uint64_t pack_driver_version(const char *text);

#ifdef __cplusplus
}
#endif

#endif
