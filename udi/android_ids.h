/*
 * Vendor and product ids of Android devices (in their debugging or
 * fastboot modes) whose packages get the Android device interface GUID, so
 * that Android's tools find them.
 */
#ifndef UDI_ANDROID_IDS_H
#define UDI_ANDROID_IDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct android_device_id {
    uint16_t vendor_id;
    uint16_t product_id;
} android_device_id;

/* Sorted by vendor, then product. */
extern const android_device_id android_device_ids[];
extern const size_t android_device_ids_count;

/* Nonzero when the pair is in android_device_ids. */
int is_android_device(uint16_t vendor_id, uint16_t product_id);

#ifdef __cplusplus
}
#endif

#endif
