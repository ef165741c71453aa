#pragma once

#include "udi/libudi.h"

// The owner of one list of present USB devices made by udi_create_list. It
// frees a list it holds when it ends; the head is null for no list.
class DeviceList
{
public:
    DeviceList() = default;
    explicit DeviceList (udi_device_node* listHead) noexcept : head (listHead) {}
    ~DeviceList();

    DeviceList (DeviceList&& other) noexcept;
    DeviceList& operator= (DeviceList&& other) noexcept;

    DeviceList (const DeviceList&) = delete;
    DeviceList& operator= (const DeviceList&) = delete;

    udi_device_node* get() const noexcept { return head; }

private:
    void reset() noexcept;

    udi_device_node* head = nullptr;
};
