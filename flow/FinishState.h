#pragma once

#include "flow/State.h"

// The MCU is updated: the user can only quit.
class FinishState : public State
{
public:
    explicit FinishState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
