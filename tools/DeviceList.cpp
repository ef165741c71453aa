#include "tools/DeviceList.h"

#include <utility>

DeviceList::~DeviceList()
{
    reset();
}

DeviceList::DeviceList (DeviceList&& other) noexcept
    : head (std::exchange (other.head, nullptr))
{
}

DeviceList& DeviceList::operator= (DeviceList&& other) noexcept
{
    if (this != &other)
    {
        reset();
        head = std::exchange (other.head, nullptr);
    }

    return *this;
}

void DeviceList::reset() noexcept
{
    // A list that cannot be freed now (its lock held elsewhere) is left to
    // the process's end: there is nobody to tell.
    if (head != nullptr)
        udi_destroy_list (head);

    head = nullptr;
}
