#pragma once

#include "flow/State.h"

#include <string>

// Shows the wireless module's version to install and waits for the click.
class WaitUpdateCoreState : public State
{
public:
    WaitUpdateCoreState (MainComponent* ownerComponent, std::string versionText)
        : State (ownerComponent), version (std::move (versionText))
    {
    }

    std::unique_ptr<State> clone() override;
    void enter() const override;
    std::unique_ptr<State> handle (const Event& event) override;

    const std::string version; // UTF-8, may be empty
};
