#include "flow/StartUpdateFwState.h"

#include "flow/Event.h"

std::unique_ptr<State> StartUpdateFwState::clone()
{
    return std::make_unique<StartUpdateFwState> (*this);
}

void StartUpdateFwState::enter() const
{
}

std::unique_ptr<State> StartUpdateFwState::handle (const Event&)
{
    return nullptr;
}
