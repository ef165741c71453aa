#include "flow/StartUpdateCoreState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/PrepareUpdateCoreState.h"

std::unique_ptr<State> StartUpdateCoreState::clone()
{
    return std::make_unique<StartUpdateCoreState> (*this);
}

void StartUpdateCoreState::enter() const
{
    owner->showStep (4, "Update Your Kelvane",
                     juce::String ("1. Plug in the power cord and turn on your Kelvane") + "\n\n"
                         + "2. Connect the provided USB cable from the USB-C data port of the Kelvane to your PC/Mac",
                     "Next");
}

std::unique_ptr<State> StartUpdateCoreState::handle (const Event& event)
{
    if (dynamic_cast<const ButtonClicked*> (&event) == nullptr)
        return nullptr;

    return std::make_unique<PrepareUpdateCoreState> (owner);
}
