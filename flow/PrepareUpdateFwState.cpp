#include "flow/PrepareUpdateFwState.h"

#include "app/MainComponent.h"
#include "flow/Event.h"
#include "flow/FailureState.h"
#include "flow/StartUpdateFwState.h"
#include "flow/WaitUpdateFwState.h"
#include "tools/McuCommands.h"

std::unique_ptr<State> PrepareUpdateFwState::clone()
{
    return std::make_unique<PrepareUpdateFwState> (*this);
}

void PrepareUpdateFwState::enter() const
{
    owner->showBusy ("Checking the MCU ...");

    owner->pushTask ([component = owner] {
        // The version file is read only for a device that answered.
        std::optional<std::string> version;

        if (detectMcu())
            version = readFirmwareVersion();

        component->postEvent (std::make_unique<PrepFinished> (std::move (version)));
    });
}

std::unique_ptr<State> PrepareUpdateFwState::handle (const Event& event)
{
    const auto* prepared = dynamic_cast<const PrepFinished*> (&event);

    if (prepared == nullptr)
        return nullptr;

    // An empty version is still a version: its file is there.
    if (prepared->version.has_value())
        return std::make_unique<WaitUpdateFwState> (owner, *prepared->version);

    owner->showToast ("Cannot detect the device!");
    return std::make_unique<FailureState> (owner, std::make_unique<StartUpdateFwState> (owner));
}
