#pragma once

#include "flow/State.h"

// Looks, after the device has had time to enumerate, whether it is on WinUSB.
class CheckUsbDriverState : public State
{
public:
    explicit CheckUsbDriverState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
