/* Stand-ins until the package preparation and installation are built. */
#include "udi/libudi.h"

udi_result udi_prepare_driver(const udi_device_node *device, const char *folder,
                              const char *inf_file_name, const udi_prepare_options *options)
{
    (void)device;
    (void)folder;
    (void)inf_file_name;
    (void)options;
    return UDI_ERR_MISSING;
}

udi_result udi_install_driver(const udi_device_node *device, const char *folder,
                              const char *inf_file_name, const udi_install_options *options)
{
    (void)device;
    (void)folder;
    (void)inf_file_name;
    (void)options;
    return UDI_ERR_MISSING;
}
