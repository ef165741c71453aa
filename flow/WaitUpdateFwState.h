#pragma once

#include "flow/State.h"

#include <string>

// Shows the version to install and waits for "Update MCU".
class WaitUpdateFwState : public State
{
public:
    WaitUpdateFwState (MainComponent* ownerComponent, std::string versionText)
        : State (ownerComponent), version (std::move (versionText))
    {
    }

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;

    const std::string version; // UTF-8, may be empty
};
