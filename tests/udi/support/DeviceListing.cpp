#include "DeviceListing.h"

namespace udi_test {

const ListedDevice *Listing::find(const std::string &suffix) const
{
    for (const auto &device : devices) {
        if (device.deviceId.size() >= suffix.size()
            && device.deviceId.compare(device.deviceId.size() - suffix.size(), suffix.size(), suffix) == 0)
            return &device;
    }
    return nullptr;
}

Listing listDevices(const udi_list_options *options)
{
    Listing listing;
    udi_device_node *head = nullptr;

    listing.result = udi_create_list(&head, options);
    listing.headIsNull = head == nullptr;
    for (const udi_device_node *node = head; node != nullptr; node = node->next_device) {
        if (node->device_id == nullptr || std::string(node->device_id).find("UDITEST") == std::string::npos)
            continue;
        ListedDevice device;
        device.deviceId = node->device_id;
        device.vendorId = node->vendor_id;
        device.productId = node->product_id;
        device.hasInterfaceNumber = node->has_interface_number;
        device.interfaceNumber = node->interface_number;
        device.hasDescription = node->description != nullptr;
        if (device.hasDescription)
            device.description = node->description;
        device.hasService = node->driver_service != nullptr;
        if (device.hasService)
            device.service = node->driver_service;
        device.hardwareId = node->hardware_id != nullptr ? node->hardware_id : "<null>";
        device.compatibleId = node->first_compatible_id != nullptr ? node->first_compatible_id : "<null>";
        device.hasUpperFilter = node->first_upper_filter != nullptr;
        if (device.hasUpperFilter)
            device.upperFilter = node->first_upper_filter;
        device.driverVersion = node->installed_driver_version;
        listing.devices.push_back(device);
    }
    udi_destroy_list(head);
    return listing;
}

}  // namespace udi_test
