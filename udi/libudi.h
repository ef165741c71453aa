/*
 * libudi: lists the present USB devices with their bound drivers and
 * prepares and installs a driver package for one of them.
 *
 * Every text crossing this interface is UTF-8. Every call returns UDI_OK or
 * one of the negative result codes below; records passed in stay the
 * caller's. The only thing the library hands over is the device list, which
 * the caller frees with udi_destroy_list.
 *
 * Plain C; safe to include from C++ and without <windows.h>.
 */
#ifndef LIBUDI_H
#define LIBUDI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t udi_result;

#define UDI_OK                      0
#define UDI_ERR_BAD_ARGUMENT       -2   /* a required argument is NULL or malformed */
#define UDI_ERR_FILE_ACCESS        -3   /* a folder or file cannot be used or written */
#define UDI_ERR_DEVICE_LIST_EMPTY  -4   /* the device listing found nothing */
#define UDI_ERR_MISSING            -5   /* something required is absent */
#define UDI_ERR_IN_USE             -6   /* the same operation is already running */
#define UDI_ERR_TIMED_OUT          -7   /* the installer or the progress dialog timed out */
#define UDI_ERR_INSTALL_PENDING    -9   /* another device installation is still pending */
#define UDI_ERR_OUT_OF_RESOURCES  -11   /* lock, memory, window, thread, path or system function */
#define UDI_ERR_WINDOWS_TOO_OLD   -12   /* Windows older than 7 */
#define UDI_ERR_CANCELLED         -14   /* the user declined to elevate the installer */
#define UDI_ERR_LAUNCH_FAILED     -15   /* the installer process did not start */
#define UDI_ERR_INSTALLER_FAILED  -99   /* the installer process failed */

/* The kind of driver package. */
typedef int32_t udi_driver_kind;

#define UDI_DRIVER_WINUSB      0
#define UDI_DRIVER_LIBUSB0     1
#define UDI_DRIVER_LIBUSBK     2
#define UDI_DRIVER_USB_CDC     3
#define UDI_DRIVER_USER        4   /* never prepared: a preparation falls back to WinUSB */
#define UDI_DRIVER_KIND_COUNT  5

/*
 * One present USB device, or one interface of a composite device. Built by
 * udi_create_list; every text belongs to the node.
 */
typedef struct udi_device_node {
    struct udi_device_node *next_device;  /* NULL at the end of the list */
    uint16_t vendor_id;                   /* from the "VID_" token, 0 without one */
    uint16_t product_id;                  /* from the "PID_" token, 0 without one */
    int32_t has_interface_number;         /* 1 when an "MI_" token was read */
    uint8_t interface_number;             /* the "MI_" value, else 0 */
    char *description;                    /* display text; NULL only if it did not convert */
    char *driver_service;                 /* e.g. "WinUSB"; NULL when the device has none */
    char *device_id;                      /* device instance id, USB\VID_xxxx&PID_xxxx\... */
    char *hardware_id;                    /* first hardware id; empty when unreadable */
    char *first_compatible_id;            /* empty when there is none */
    char *first_upper_filter;             /* NULL when there is none */
    uint64_t installed_driver_version;    /* a.b.c.d in four 16-bit parts, a on top; 0 unknown */
} udi_device_node;

/* Options of the listing; a NULL pointer means all flags zero. */
typedef struct udi_list_options {
    int32_t include_with_driver;  /* also devices that already have a driver */
    int32_t include_hubs;         /* also hubs with a vendor id, and composite parents */
    int32_t trim_description;     /* drop trailing white space from descriptions */
} udi_list_options;

/*
 * Lists the present USB devices into *head_out.
 * UDI_OK with a non-empty list, UDI_ERR_DEVICE_LIST_EMPTY with *head_out
 * NULL, UDI_ERR_BAD_ARGUMENT for a NULL head_out. UDI_ERR_IN_USE,
 * UDI_ERR_WINDOWS_TOO_OLD and a lock that cannot be made
 * (UDI_ERR_OUT_OF_RESOURCES) leave *head_out as it was; a later
 * UDI_ERR_OUT_OF_RESOURCES (memory, a system function missing) sets it NULL.
 */
udi_result udi_create_list(udi_device_node **head_out, const udi_list_options *options);

/* Frees a list of udi_create_list (NULL is fine). UDI_ERR_IN_USE leaves it intact. */
udi_result udi_destroy_list(udi_device_node *head);

/*
 * 1 when packages of this kind can be prepared, else 0. When out is given it
 * receives the kind's driver file version record (VS_FIXEDFILEINFO).
 */
struct tagVS_FIXEDFILEINFO;
int udi_is_driver_supported(udi_driver_kind kind, struct tagVS_FIXEDFILEINFO *out);

/*
 * Options of a preparation; all zero is the application's choice: WinUSB,
 * the vendor table's manufacturer, a new interface GUID and, for an
 * administrator, a catalog signed with the default subject. A NULL pointer
 * means the same except that the catalog is never signed.
 */
typedef struct udi_prepare_options {
    udi_driver_kind driver_kind;     /* read as unsigned: above 4 is refused */
    char *manufacturer_name;         /* NULL: the vendor table's name */
    char *interface_guid;            /* NULL: chosen for the device */
    int32_t skip_catalog;            /* nonzero: no catalog */
    int32_t skip_signing;            /* nonzero: a catalog, not signed */
    char *signer_subject;            /* NULL: "CN=<hardware id> (libudi autogenerated)" */
    int32_t match_by_compatible_id;  /* nonzero: match the kind's compatible id */
} udi_prepare_options;

/*
 * Writes a driver package for device into folder (NULL: the folder TEMP
 * names): the payload, the INF inf_file_name (ending in ".inf") in UTF-16LE
 * and, for an administrator, its security catalog, signed. A catalog or
 * signature that cannot be made is logged and does not change the result.
 */
udi_result udi_prepare_driver(const udi_device_node *device, const char *folder,
                              const char *inf_file_name, const udi_prepare_options *options);

/* Options of an installation; a NULL pointer means all zero, but no wait. */
typedef struct udi_install_options {
    void *parent_window;               /* a HWND: run behind a progress dialog it owns */
    int32_t use_filter_installer;      /* nonzero: the libusb-win32 filter installer */
    uint32_t pending_install_wait_ms;  /* wait this long for pending installations */
} udi_install_options;

/*
 * Installs the package that udi_prepare_driver wrote into folder for device,
 * through the package's own installer program. A nonzero status reported by
 * the installer is returned as it came.
 */
udi_result udi_install_driver(const udi_device_node *device, const char *folder,
                              const char *inf_file_name, const udi_install_options *options);

#ifdef __cplusplus
}
#endif

#endif /* LIBUDI_H */
