#pragma once

#include "flow/State.h"

// Installs the WinUSB driver for the device in firmware-update mode.
class InstallUsbDriverState : public State
{
public:
    explicit InstallUsbDriverState (MainComponent* ownerComponent) : State (ownerComponent) {}

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;
};
