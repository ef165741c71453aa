#include "driver_kinds.h"

#include <string.h>
#include <windows.h>

#include "log.h"
#include "version_info.h"

static const driver_kind_info driver_kinds[UDI_DRIVER_KIND_COUNT] = {
    { "WinUSB", "winusb.inf.in", "winusb.cat.in", "winusbcoinstaller2.dll", "MS_COMP_WINUSB" },
    { "libusb0.sys", "libusb0.inf.in", "libusb0.cat.in", "libusb0.sys", "MS_COMP_LIBUSB0" },
    { "libusbK.sys", "libusbk.inf.in", "libusbk.cat.in", "libusbK.sys", "MS_COMP_LIBUSBK" },
    { "Generic USB CDC", "usbser.inf.in", "usbser.cat.in", "", "MS_COMP_USBSER" },
    { "user driver", NULL, NULL, NULL, NULL },
};

const driver_kind_info *driver_kind_info_of(udi_driver_kind kind)
{
    if (kind < 0 || kind >= UDI_DRIVER_KIND_COUNT)
        return NULL;
    return &driver_kinds[kind];
}

/*
 * The CDC package states a fixed version, so its record is left alone.
 * Every other kind gets its record emptied first and then read again: the
 * preparation passes the cache entry itself, so that each package states the
 * version of the file it carries now. The read's outcome does not decide
 * support: a package without a version states 0.0.0.0.
 */
int udi_is_driver_supported(udi_driver_kind kind, struct tagVS_FIXEDFILEINFO *out)
{
    if (kind < UDI_DRIVER_USB_CDC) {
        if (out != NULL)
            memset(out, 0, sizeof(*out));
        (void)get_version_info(kind, out);
    }

    switch (kind) {
    case UDI_DRIVER_WINUSB:
    case UDI_DRIVER_LIBUSB0:
    case UDI_DRIVER_LIBUSBK:
    case UDI_DRIVER_USB_CDC:
        return 1;
    case UDI_DRIVER_USER:
        return 0;
    default:
        log_message(LOG_ERROR, "udi_is_driver_supported", "Unknown driver type");
        return 0;
    }
}
