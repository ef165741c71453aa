#pragma once

#include "flow/State.h"

// Detects the device with dfu-util and reads the version it will be given.
class PrepareUpdateFwState : public State
{
public:
    explicit PrepareUpdateFwState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
