#pragma once

#include "flow/State.h"

// The failure page. "Retry" leads into a fresh copy of the state it holds;
// without one, the button reads "Quit".
class FailureState : public State
{
public:
    FailureState (MainComponent* ownerComponent, std::unique_ptr<State> stateToRetry)
        : State (ownerComponent), retryState (std::move (stateToRetry))
    {
    }

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;

    const std::unique_ptr<State> retryState;
};
