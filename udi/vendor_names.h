/*
 * Names of USB vendors by id, for the manufacturer of a driver package.
 * The table itself comes with the embedded payload data.
 */
#ifndef UDI_VENDOR_NAMES_H
#define UDI_VENDOR_NAMES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct usb_vendor_name {
    uint16_t id;
    const char *name;
} usb_vendor_name;

/* Sorted by id, each id once. Defined with the payload data. */
extern const usb_vendor_name usb_vendor_names[];
extern const size_t usb_vendor_names_count;

/* The vendor's name, or NULL when the table has no row for the id. */
const char *lookup_vendor_name(uint16_t vendor_id);

/* The same lookup over any table, first match wins. */
const char *find_vendor_name(const usb_vendor_name *table, size_t count, uint16_t vendor_id);

#ifdef __cplusplus
}
#endif

#endif
