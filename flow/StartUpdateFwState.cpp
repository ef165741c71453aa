#include "flow/StartUpdateFwState.h"

#include "app/MainComponent.h"
#include "flow/CheckUsbDriverState.h"
#include "flow/Event.h"

std::unique_ptr<State> StartUpdateFwState::clone()
{
    return std::make_unique<StartUpdateFwState> (*this);
}

void StartUpdateFwState::enter() const
{
    owner->showStep (1, "Update MCU",
                     "Hold down the pair button while plugging in the power cable to put the Kelvane into "
                     "firmware update mode, which is indicated by a solid white light.",
                     "Next");
}

std::unique_ptr<State> StartUpdateFwState::handle (const Event& event)
{
    if (dynamic_cast<const ButtonClicked*> (&event) == nullptr)
        return nullptr;

    return std::make_unique<CheckUsbDriverState> (owner);
}
