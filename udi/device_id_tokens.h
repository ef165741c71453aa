/*
 * The USB ids inside a device instance id such as
 * USB\VID_6E3C&PID_0222&MI_01\6&1A2B3C&0&0001.
 */
#ifndef UDI_DEVICE_ID_TOKENS_H
#define UDI_DEVICE_ID_TOKENS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct device_id_tokens {
    uint16_t vendor_id;
    uint16_t product_id;
    int has_interface_number;
    uint8_t interface_number;
    int has_vendor_token;    /* a "VID_" token was seen, readable or not */
    int bad_vendor_token;    /* ... and could not be read */
    int bad_product_token;
    int bad_interface_token;
} device_id_tokens;

/*
 * Cuts id at every '\', '#' and '&' and reads the "VID_", "PID_" (four hex
 * digits at most) and "MI_" (two) tokens; prefixes are case-sensitive.
 */
void parse_device_id_tokens(const char *id, device_id_tokens *out);

#ifdef __cplusplus
}
#endif

#endif
