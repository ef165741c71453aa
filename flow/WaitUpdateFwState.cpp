#include "flow/WaitUpdateFwState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/UpdateFwState.h"

std::unique_ptr<State> WaitUpdateFwState::clone()
{
    return std::make_unique<WaitUpdateFwState> (*this);
}

void WaitUpdateFwState::enter() const
{
    owner->showDeviceInfo (juce::String::fromUTF8 (version.data(), (int) version.size()), "Update MCU");
}

std::unique_ptr<State> WaitUpdateFwState::handle (const Event& event)
{
    if (dynamic_cast<const ButtonClicked*> (&event) == nullptr)
        return nullptr;

    return std::make_unique<UpdateFwState> (owner, version);
}
