#pragma once

#include "tools/DeviceList.h"

#include <juce_core/juce_core.h>

#include <functional>

class MainComponent;

// The device in firmware-update mode must be bound to WinUSB before dfu-util
// can reach it. These run on the worker thread only.

// Whether this node is the device (6e3c:0222) and not bound to a service of
// exactly the name "WinUSB".
bool needsWinUsbDriver (const udi_device_node& node);

// The present USB devices, those with a driver too; an empty owner when the
// listing failed for any reason.
DeviceList listUsbDevices();

// False when a present device needs the driver; true otherwise, also when
// the devices could not be listed: the detection that follows tells then.
bool isWinUsbDriverInstalled();

// Prepares and installs the WinUSB package for every node that needs it, in
// list order, stopping at the first failure. True only when at least one
// node needed it and every one of them was installed.
bool installWinUsbDriver();

// The folder the driver package is written into: the executable's.
juce::File driverDir();

// The worker tasks of the driver check and the installation. Each captures
// only the owner and posts one TaskFinished at its end.
std::function<void()> makeUsbDriverCheckTask (MainComponent* owner);
std::function<void()> makeUsbDriverInstallTask (MainComponent* owner);
