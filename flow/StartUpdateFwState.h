#pragma once

#include "flow/State.h"

// The MCU flow's first state: the user puts the device into firmware-update
// mode.
class StartUpdateFwState : public State
{
public:
    explicit StartUpdateFwState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
