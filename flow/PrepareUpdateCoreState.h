#pragma once

#include "flow/State.h"

// Detects the wireless module with esptool and reads its version to install.
class PrepareUpdateCoreState : public State
{
public:
    explicit PrepareUpdateCoreState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
