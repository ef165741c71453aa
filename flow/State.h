#pragma once

#include <memory>

class MainComponent;
struct Event;

// One step of the update flow. A state never changes itself: it shows its
// page and queues its task through its owner, and answers each event with the
// next state, or with nothing to stay.
class State
{
public:
    explicit State (MainComponent* ownerComponent) : owner (ownerComponent) {}
    virtual ~State() = default;

    virtual std::unique_ptr<State> clone() = 0;
    virtual void enter() const {}
    virtual void exit() {}
    virtual std::unique_ptr<State> handle (const Event& event) = 0;

protected:
    State (const State&) = default;
    State& operator= (const State&) = delete;

    MainComponent* const owner;
};
