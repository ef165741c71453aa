#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "udi/libudi.h"

namespace udi_test {

// A copy of one listed node, texts absent kept apart from texts empty.
struct ListedDevice {
    std::string deviceId;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int hasInterfaceNumber = 0;
    int interfaceNumber = 0;
    bool hasDescription = false;
    std::string description;
    bool hasService = false;
    std::string service;
    std::string hardwareId;
    std::string compatibleId;
    bool hasUpperFilter = false;
    std::string upperFilter;
    uint64_t driverVersion = 0;
};

struct Listing {
    udi_result result = 0;
    bool headIsNull = true;
    std::vector<ListedDevice> devices;  // the test's own only, in list order

    // The test device whose instance id ends in suffix, or nullptr.
    const ListedDevice *find(const std::string &suffix) const;
};

// Lists with udi_create_list, copies the test's devices and frees the list.
Listing listDevices(const udi_list_options *options);

}  // namespace udi_test
