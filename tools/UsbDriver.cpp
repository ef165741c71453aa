#include "tools/UsbDriver.h"

#include "app/MainComponent.h"
#include "flow/Event.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace
{
    constexpr uint16_t deviceVendorId = 0x6e3c;
    constexpr uint16_t deviceProductId = 0x0222;
    constexpr const char* infFileName = "deviceDrv.inf";

    // The device enumerates a moment after it enters firmware-update mode:
    // every check waits this long before it lists.
    constexpr std::chrono::milliseconds settleTime { 2048 };
}

bool needsWinUsbDriver (const udi_device_node& node)
{
    if (node.vendor_id != deviceVendorId || node.product_id != deviceProductId)
        return false;

    // Case matters: a service that differs in letter case or runs longer is
    // another driver.
    return node.driver_service == nullptr || std::strcmp (node.driver_service, "WinUSB") != 0;
}

DeviceList listUsbDevices()
{
    udi_list_options options {};
    options.include_with_driver = 1;
    options.include_hubs = 0;
    options.trim_description = 0;

    udi_device_node* head = nullptr;

    if (udi_create_list (&head, &options) != UDI_OK)
        return {};

    return DeviceList (head);
}

bool isWinUsbDriverInstalled()
{
    const auto devices = listUsbDevices();

    for (auto* node = devices.get(); node != nullptr; node = node->next_device)
        if (needsWinUsbDriver (*node))
            return false;

    return true;
}

bool installWinUsbDriver()
{
    const auto folder = driverDir().getFullPathName().toStdString();
    const auto devices = listUsbDevices();

    if (devices.get() == nullptr)
        return false;

    bool installed = false;

    for (auto* node = devices.get(); node != nullptr; node = node->next_device)
    {
        if (! needsWinUsbDriver (*node))
            continue;

        udi_prepare_options prepareOptions;
        udi_install_options installOptions;
        std::memset (&prepareOptions, 0, sizeof (prepareOptions));
        std::memset (&installOptions, 0, sizeof (installOptions));

        // A later node's package replaces the earlier one's in the same folder.
        if (udi_prepare_driver (node, folder.c_str(), infFileName, &prepareOptions) != UDI_OK)
            return false;

        if (udi_install_driver (node, folder.c_str(), infFileName, &installOptions) != UDI_OK)
            return false;

        installed = true;
    }

    return installed;
}

juce::File driverDir()
{
    static const juce::File dir = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
    return dir;
}

std::function<void()> makeUsbDriverCheckTask (MainComponent* owner)
{
    return [owner] {
        std::this_thread::sleep_for (settleTime);
        const bool installed = isWinUsbDriverInstalled();
        owner->postEvent (std::make_unique<TaskFinished> (installed));
    };
}

std::function<void()> makeUsbDriverInstallTask (MainComponent* owner)
{
    return [owner] {
        const bool installed = installWinUsbDriver();
        owner->postEvent (std::make_unique<TaskFinished> (installed));
    };
}
