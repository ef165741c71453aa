#include "flow/CheckUsbDriverState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/InstallUsbDriverState.h"
#include "flow/PrepareUpdateFwState.h"
#include "tools/UsbDriver.h"

std::unique_ptr<State> CheckUsbDriverState::clone()
{
    return std::make_unique<CheckUsbDriverState> (*this);
}

void CheckUsbDriverState::enter() const
{
    owner->showBusy ("Checking the USB driver ...");
    owner->pushTask (makeUsbDriverCheckTask (owner));
}

std::unique_ptr<State> CheckUsbDriverState::handle (const Event& event)
{
    const auto* finished = dynamic_cast<const TaskFinished*> (&event);

    if (finished == nullptr)
        return nullptr;

    // A check that could not list the devices also reports success: the
    // detection that follows finds out whether the device is reachable.
    if (finished->success)
        return std::make_unique<PrepareUpdateFwState> (owner);

    return std::make_unique<InstallUsbDriverState> (owner);
}
