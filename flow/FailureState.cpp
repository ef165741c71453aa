#include "flow/FailureState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"

std::unique_ptr<State> FailureState::clone()
{
    return std::make_unique<FailureState> (owner, retryState != nullptr ? retryState->clone() : nullptr);
}

void FailureState::enter() const
{
    owner->showStep (3, "Update Failed",
                     "Please try again. If the error persists, please contact our support team from the help "
                     "center below.",
                     retryState != nullptr ? "Retry" : "Quit");
}

std::unique_ptr<State> FailureState::handle (const Event& event)
{
    if (dynamic_cast<const ButtonClicked*> (&event) == nullptr)
        return nullptr;

    // A fresh copy each time, so that the held state serves every retry.
    if (retryState != nullptr)
        return retryState->clone();

    juce::JUCEApplication::quit();
    return nullptr;
}
