#include "vendor_names.h"

const char *find_vendor_name(const usb_vendor_name *table, size_t count, uint16_t vendor_id)
{
    size_t i;

    if (table == NULL)
        return NULL;
    for (i = 0; i < count; i++) {
        if (table[i].id == vendor_id)
            return table[i].name;
    }
    return NULL;
}
