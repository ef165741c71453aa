#include "flow/PrepareUpdateCoreState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/FailureState.h"
#include "flow/StartUpdateCoreState.h"
#include "flow/WaitUpdateCoreState.h"
#include "tools/WirelessCommands.h"

std::unique_ptr<State> PrepareUpdateCoreState::clone()
{
    return std::make_unique<PrepareUpdateCoreState> (*this);
}

void PrepareUpdateCoreState::enter() const
{
    owner->showBusy ("Checking the Wireless Module ...");

    owner->pushTask ([component = owner] {
        // The version file is read only for a module that answered.
        std::optional<std::string> version;

        if (detectWirelessModule())
            version = readWirelessFirmwareVersion();

        component->postEvent (std::make_unique<PrepFinished> (std::move (version)));
    });
}

std::unique_ptr<State> PrepareUpdateCoreState::handle (const Event& event)
{
    const auto* prepared = dynamic_cast<const PrepFinished*> (&event);

    if (prepared == nullptr)
        return nullptr;

    if (prepared->version.has_value())
        return std::make_unique<WaitUpdateCoreState> (owner, *prepared->version);

    owner->showToast ("Cannot detect the device!");
    return std::make_unique<FailureState> (owner, std::make_unique<StartUpdateCoreState> (owner));
}
