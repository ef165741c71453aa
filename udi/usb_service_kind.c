#include "usb_service_kind.h"

#include <stddef.h>

static const char *const hub_services[] = {
    "usbhub", "usbhub3", "usb3hub", "nusb3hub", "rusb3hub", "flxhcih", "tihub3",
    "etronhub3", "viahub3", "asmthub3", "iusb3hub", "vusb3hub", "amdhub30", "vhhub",
};

static char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

static int same_name(const char *a, const char *b)
{
    while (*a != '\0' && lower(*a) == lower(*b)) {
        a++;
        b++;
    }
    return lower(*a) == lower(*b);
}

int is_hub_service(const char *service)
{
    size_t i;

    if (service == NULL)
        return 0;
    for (i = 0; i < sizeof(hub_services) / sizeof(hub_services[0]); i++) {
        if (same_name(service, hub_services[i]))
            return 1;
    }
    return 0;
}

int is_composite_parent_service(const char *service)
{
    return service != NULL && same_name(service, "usbccgp");
}
