#include "vendor_names.h"

const char *lookup_vendor_name(uint16_t vendor_id)
{
    return find_vendor_name(usb_vendor_names, usb_vendor_names_count, vendor_id);
}
