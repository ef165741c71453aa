#include "app/MainComponent.h"

#include "flow/StartUpdateFwState.h"
#include "resources/BinaryData.h"

#include <iterator>
#include <utility>

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
    if (! stopThread (100) && onWorkerKilled != nullptr)
        onWorkerKilled();
}

void MainComponent::pushTask (std::function<void()> task)
{
    // An empty task would throw on the worker and end the program; nothing
    // can run it, so it is dropped.
    jassert (task != nullptr);

    if (task == nullptr)
        return;

    {
        const std::lock_guard<std::mutex> lock (taskMutex);
        taskQueue.push_back (std::move (task));
    }

    notify();
}

void MainComponent::postEvent (std::unique_ptr<Event> event)
{
    // A state cannot handle the absence of an event; it is dropped before it
    // takes a place in the queue.
    jassert (event != nullptr);

    if (event == nullptr)
        return;

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
            runTask (*task);

        wait (-1);
    }
}

void MainComponent::runTask (const std::function<void()>& task)
{
    // An exception out of a task would end the worker for good, and every
    // later task with it. The task's event never comes: which kind of event
    // the state that queued it waits for, only the task knew, so its page
    // stays until the window is closed, and the worker serves on.
    try
    {
        task();
    }
    catch (const std::exception& e)
    {
        juce::Logger::writeToLog ("A task ended by an exception, without its event: " + juce::String (e.what()));
    }
    catch (...)
    {
        juce::Logger::writeToLog ("A task ended by an exception of an unknown kind, without its event");
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
    const std::pair<const char*, int> embeddedPictures[] = {
        { BinaryData::kelvane_normal_png, BinaryData::kelvane_normal_pngSize },
        { BinaryData::kelvane_repair_png, BinaryData::kelvane_repair_pngSize },
        { BinaryData::kelvane_ok_png, BinaryData::kelvane_ok_pngSize },
        { BinaryData::kelvane_warning_png, BinaryData::kelvane_warning_pngSize },
        { BinaryData::kelvane_connect_png, BinaryData::kelvane_connect_pngSize },
    };

    // Decoded once here, so a page switch only hands over a ready picture. One
    // that does not decode stays an empty image, which draws nothing.
    for (int key = 0; key < (int) std::size (embeddedPictures); ++key)
        stepPictures[key] = juce::ImageFileFormat::loadFrom (embeddedPictures[key].first,
                                                             (size_t) embeddedPictures[key].second);

    picture = std::make_unique<juce::ImageComponent>();
    picture->setImage (stepPictures[0]);
    addAndMakeVisible (*picture);

    // Both pages' buttons post the same event: only one action button is
    // ever shown, and the current state knows what it means.
    const auto postButtonClicked = [this] { postEvent (std::make_unique<ButtonClicked>()); };

    preparationView = std::make_unique<PreparationView> (postButtonClicked);
    addAndMakeVisible (*preparationView);

    updateView = std::make_unique<UpdateView> (postButtonClicked);
    addChildComponent (*updateView);

    // Visible but fully transparent until its first show, and on top of both
    // pages whichever is shown.
    toast = std::make_unique<MessageToast>();
    addAndMakeVisible (*toast);
}

void MainComponent::paint (juce::Graphics& g)
{
    // Built at the first paint and kept: a later resize neither moves nor
    // scales the glow.
    static const juce::ColourGradient background (juce::Colour (0xff3c3c3c), 0.0f, 0.0f,
                                                  juce::Colour (0xff171717), (float) getWidth(),
                                                  (float) getHeight() * 0.3f, true);

    const juce::Graphics::ScopedSaveState savedState (g);
    g.setGradientFill (background);
    g.fillAll();
}

void MainComponent::resized()
{
    // Each setSize() comes straight back here; below both limits the width
    // is fixed on the first pass and the height on the second.
    if (getWidth() < 200)
    {
        setSize (200, getHeight());
        return;
    }

    if (getHeight() < 400)
    {
        setSize (getWidth(), 400);
        return;
    }

    // Only the visible page takes the slot; the hidden one keeps its last
    // place until it is shown.
    juce::Component* page = preparationView->isVisible() ? static_cast<juce::Component*> (preparationView.get())
                                                          : static_cast<juce::Component*> (updateView.get());

    juce::StretchableLayoutManager layout;
    layout.setItemLayout (0, 250, 400, 360);
    layout.setItemLayout (1, 20, 60, 30);
    layout.setItemLayout (2, 300, 500, 450);

    juce::Component* items[] = { picture.get(), nullptr, page };
    layout.layOutComponents (items, 3, 40, 50, getWidth() - 80, getHeight() - 50, true, true);

    toast->setSize (getWidth() - 80, 80);
    toast->setTopLeftPosition (40, 40);
}

void MainComponent::showImage (int key)
{
    const auto found = stepPictures.find (key);
    picture->setImage (found != stepPictures.end() ? found->second : juce::Image());
    resized();
}

void MainComponent::showStep (int key, const juce::String& title, const juce::String& description,
                              const juce::String& buttonText)
{
    showImage (key);
    updateView->setVisible (false);
    preparationView->showStep (title, description, buttonText);
    preparationView->setVisible (true);
    resized();
}

void MainComponent::showBusy (const juce::String& title)
{
    updateView->setVisible (false);
    preparationView->showBusy (title);
    preparationView->setVisible (true);
    resized();
}

void MainComponent::showUpdating (const juce::String& title, const juce::String& message)
{
    preparationView->setVisible (false);
    updateView->showUpdating (title, message);
    updateView->setVisible (true);
    showImage (0);
    resized();
}

void MainComponent::showDeviceInfo (const juce::String& version, const juce::String& buttonText)
{
    preparationView->setVisible (false);
    updateView->showDeviceInfo (version, buttonText);
    updateView->setVisible (true);
    showImage (0);
    resized();
}

void MainComponent::showToast (const juce::String& text)
{
    toast->setMessage (text);
    toast->show();
}
