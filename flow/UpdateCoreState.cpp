#include "flow/UpdateCoreState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/FailureState.h"
#include "flow/StartUpdateFwState.h"
#include "flow/WaitUpdateCoreState.h"
#include "tools/WirelessCommands.h"

std::unique_ptr<State> UpdateCoreState::clone()
{
    return std::make_unique<UpdateCoreState> (*this);
}

void UpdateCoreState::enter() const
{
    owner->showUpdating ("Updating the Wireless Module ...",
                         "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac during the "
                         "update process");

    owner->pushTask ([component = owner] {
        component->postEvent (std::make_unique<TaskFinished> (updateWirelessModule()));
    });
}

std::unique_ptr<State> UpdateCoreState::handle (const Event& event)
{
    const auto* finished = dynamic_cast<const TaskFinished*> (&event);

    if (finished == nullptr)
        return nullptr;

    // The module done, the MCU comes next: its flow starts at its first page.
    if (finished->success)
        return std::make_unique<StartUpdateFwState> (owner);

    owner->showToast ("Failed to update wireless module!");
    return std::make_unique<FailureState> (owner, std::make_unique<WaitUpdateCoreState> (owner, version));
}
