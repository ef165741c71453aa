#include "flow/InstallUsbDriverState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/FailureState.h"
#include "flow/PrepareUpdateFwState.h"
#include "flow/StartUpdateFwState.h"
#include "tools/UsbDriver.h"

std::unique_ptr<State> InstallUsbDriverState::clone()
{
    return std::make_unique<InstallUsbDriverState> (*this);
}

void InstallUsbDriverState::enter() const
{
    owner->showBusy ("Installing the USB driver ...");
    owner->pushTask (makeUsbDriverInstallTask (owner));
}

std::unique_ptr<State> InstallUsbDriverState::handle (const Event& event)
{
    const auto* finished = dynamic_cast<const TaskFinished*> (&event);

    if (finished == nullptr)
        return nullptr;

    if (finished->success)
        return std::make_unique<PrepareUpdateFwState> (owner);

    owner->showToast ("Failed to install USB driver!");
    return std::make_unique<FailureState> (owner, std::make_unique<StartUpdateFwState> (owner));
}
