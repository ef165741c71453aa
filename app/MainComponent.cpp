#include "app/MainComponent.h"

#include "flow/StartUpdateFwState.h"

MainComponent::MainComponent()
    : MainComponent ([] (MainComponent* owner) { return std::make_unique<StartUpdateFwState> (owner); })
{
}

MainComponent::MainComponent (const StateFactory& makeFirstState)
    : juce::Thread ("task"),
      currentState (makeFirstState (this))
{
    // The worker runs before any page exists; it finds its queue empty and
    // waits. The first state is entered before the window shows anything.
    startThread();
    initViews();
    setSize (375, 667);
    currentState->enter();
}

MainComponent::~MainComponent()
{
    currentState->exit();

    // A task that is still running after 100 ms (a tool run, a long sleep) is
    // killed: quitting is never refused. A tool it started keeps running.
    stopThread (100);
}

void MainComponent::pushTask (std::function<void()> task)
{
    {
        const std::lock_guard<std::mutex> lock (taskMutex);
        taskQueue.push_back (std::move (task));
    }

    notify();
}

void MainComponent::postEvent (std::unique_ptr<Event> event)
{
    {
        const std::lock_guard<std::mutex> lock (eventMutex);
        eventQueue.push_back (std::move (event));
    }

    triggerAsyncUpdate();
}

std::optional<std::function<void()>> MainComponent::popTask()
{
    const std::lock_guard<std::mutex> lock (taskMutex);

    if (taskQueue.empty())
        return std::nullopt;

    auto task = std::move (taskQueue.front());
    taskQueue.pop_front();
    return task;
}

std::optional<std::unique_ptr<Event>> MainComponent::popEvent()
{
    const std::lock_guard<std::mutex> lock (eventMutex);

    if (eventQueue.empty())
        return std::nullopt;

    auto event = std::move (eventQueue.front());
    eventQueue.pop_front();
    return event;
}

void MainComponent::run()
{
    // The wake-up event remembers a notify() that comes while a task runs,
    // so a task pushed during a drain never waits for a later push.
    while (! threadShouldExit())
    {
        while (auto task = popTask())
            (*task)();

        wait (-1);
    }
}

void MainComponent::handleAsyncUpdate()
{
    // Events posted while this runs are handled in this same call.
    while (auto event = popEvent())
    {
        if (auto next = currentState->handle (**event))
        {
            currentState->exit();
            currentState = std::move (next);
            currentState->enter();
        }
    }
}

void MainComponent::initViews()
{
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff171717));
}

void MainComponent::resized()
{
}
