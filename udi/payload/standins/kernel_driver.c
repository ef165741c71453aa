/*
 * Stand-in for a kernel driver image (.sys) of the libusb-win32 and libusbK
 * packages. The library only reads its version resource; should the system
 * ever start it, it declines to load, so no device is bound to a driver that
 * does not drive it.
 */

/* STATUS_NOT_SUPPORTED: the driver refuses to load. */
#define STANDIN_STATUS_NOT_SUPPORTED ((long)0xC00000BBL)

long DriverEntry(void *driver_object, void *registry_path)
{
    (void)driver_object;
    (void)registry_path;
    return STANDIN_STATUS_NOT_SUPPORTED;
}
