#include "flow/FinishState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"

std::unique_ptr<State> FinishState::clone()
{
    return std::make_unique<FinishState> (*this);
}

void FinishState::enter() const
{
    owner->showStep (2, "Update Complete", "Please turn on your Kelvane back on and you are ready to rock!", "Quit");
}

std::unique_ptr<State> FinishState::handle (const Event& event)
{
    if (dynamic_cast<const ButtonClicked*> (&event) != nullptr)
        juce::JUCEApplication::quit();

    // The page stays until the window closes.
    return nullptr;
}
