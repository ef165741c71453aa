/* What a device's function-driver service says about the device. */
#ifndef UDI_USB_SERVICE_KIND_H
#define UDI_USB_SERVICE_KIND_H

#ifdef __cplusplus
extern "C" {
#endif

/* Nonzero when service (may be NULL) names a USB hub driver, ignoring case. */
int is_hub_service(const char *service);

/* Nonzero for the composite-device parent driver "usbccgp", ignoring case. */
int is_composite_parent_service(const char *service);

#ifdef __cplusplus
}
#endif

#endif
