#pragma once

#include "flow/State.h"

// The wireless-module flow's first state: the user connects the device. Only
// a failed detection of the module leads back here; nothing else does.
class StartUpdateCoreState : public State
{
public:
    explicit StartUpdateCoreState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
