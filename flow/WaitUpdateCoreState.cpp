#include "flow/WaitUpdateCoreState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/UpdateCoreState.h"

std::unique_ptr<State> WaitUpdateCoreState::clone()
{
    return std::make_unique<WaitUpdateCoreState> (*this);
}

void WaitUpdateCoreState::enter() const
{
    owner->showDeviceInfo (juce::String::fromUTF8 (version.data(), (int) version.size()), "Update Wireless Module");
}

std::unique_ptr<State> WaitUpdateCoreState::handle (const Event& event)
{
    if (dynamic_cast<const ButtonClicked*> (&event) == nullptr)
        return nullptr;

    return std::make_unique<UpdateCoreState> (owner, version);
}
