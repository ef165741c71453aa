#include "flow/UpdateFwState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/FailureState.h"
#include "flow/FinishState.h"
#include "flow/WaitUpdateFwState.h"
#include "tools/McuCommands.h"

std::unique_ptr<State> UpdateFwState::clone()
{
    return std::make_unique<UpdateFwState> (*this);
}

void UpdateFwState::enter() const
{
    owner->showUpdating ("Updating the MCU ...",
                         "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac during the "
                         "update process.");

    owner->pushTask ([component = owner] {
        component->postEvent (std::make_unique<TaskFinished> (updateMcu()));
    });
}

std::unique_ptr<State> UpdateFwState::handle (const Event& event)
{
    // A second click on "Update MCU" that arrives here is not a TaskFinished:
    // it is dropped, and only one download runs.
    const auto* finished = dynamic_cast<const TaskFinished*> (&event);

    if (finished == nullptr)
        return nullptr;

    if (finished->success)
        return std::make_unique<FinishState> (owner);

    // The retry goes back to the version page without a new detection.
    owner->showToast ("Failed to update MCU!");
    return std::make_unique<FailureState> (owner, std::make_unique<WaitUpdateFwState> (owner, version));
}
