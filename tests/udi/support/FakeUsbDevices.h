#pragma once

#include <string>
#include <vector>

namespace udi_test {

// One device node to put into Wine's device tree under the USB enumerator.
struct FakeUsbDevice {
    std::wstring instanceId;           // USB\VID_xxxx&PID_xxxx\UDITEST...
    std::vector<std::wstring> hardwareIds;
    std::vector<std::wstring> compatibleIds;
    std::wstring description;          // empty: none at all
    std::wstring busDescription;       // empty: none
    std::wstring service;              // empty: none
    std::wstring upperFilter;          // empty: none
};

// Present USB devices of the test's own in the machine's device tree, made
// through SetupAPI and removed again when the object goes. Every instance id
// carries "UDITEST" so that left-overs of an aborted run are found too.
class FakeUsbDevices {
public:
    FakeUsbDevices();
    ~FakeUsbDevices();

    FakeUsbDevices(const FakeUsbDevices &) = delete;
    FakeUsbDevices &operator=(const FakeUsbDevices &) = delete;

    bool add(const FakeUsbDevice &device);

    // Installs a driver of the test's own (an INF whose install section
    // writes "DriverVersion") on every present device matching hardwareId.
    bool installDriver(const std::wstring &hardwareId, const std::wstring &driverVersion);

    // Leaves the device as a driver that did not start leaves it: the system
    // then reports this problem code for it (0: none).
    static bool setProblem(const std::wstring &instanceId, unsigned long problemCode);

    // Removes every device whose instance id holds "UDITEST".
    static void removeAll();

    // Present USB devices that are not the test's: their presence changes
    // what a listing of the whole machine gives.
    static int foreignDeviceCount();
};

}  // namespace udi_test
