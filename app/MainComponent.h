#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "flow/Event.h"
#include "flow/State.h"
#include "ui/MessageToast.h"
#include "ui/PreparationView.h"
#include "ui/UpdateView.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

// The window's content and the engine of the update flow in one object: the
// root component, the receiver of the flow's events on the message thread,
// and the program's one worker thread "task".
//
// States queue tasks with pushTask(); tasks, and the pages' action buttons,
// post events with postEvent(). Every event is handed, on the message thread
// and in posting order, to the current state, whose answer may replace it.
class MainComponent : public juce::Component,
                      public juce::AsyncUpdater,
                      private juce::Thread
{
public:
    using StateFactory = std::function<std::unique_ptr<State> (MainComponent*)>;

    MainComponent();

    // Starts the flow in the state that makeFirstState builds instead of the
    // flow's own first state; the tests drive the engine with states of
    // their own through this.
    explicit MainComponent (const StateFactory& makeFirstState);

    ~MainComponent() override;

    // Called by the destructor, on the message thread, when the worker was
    // still inside a task after its 100 ms and was killed. A thread killed
    // in the middle of its work can die holding one of the system's own
    // locks (the heap's, the memory map's), and whatever takes that lock
    // next waits for ever: this is where an owner that can end the whole
    // process does so, before anything else runs.
    std::function<void()> onWorkerKilled;

    // An empty task or a null event is a caller's mistake: it asserts in a
    // debug build and is dropped in a release build.
    void pushTask (std::function<void()> task);
    void postEvent (std::unique_ptr<Event> event);

    void paint (juce::Graphics& g) override;
    void resized() override;

    // The page operations of the states. Each ends with a layout; exactly one
    // page is visible afterwards.
    void showImage (int key);
    void showStep (int key, const juce::String& title, const juce::String& description,
                   const juce::String& buttonText);
    void showBusy (const juce::String& title); // keeps the picture shown before
    void showUpdating (const juce::String& title, const juce::String& message);
    void showDeviceInfo (const juce::String& version, const juce::String& buttonText);
    void showToast (const juce::String& text);

private:
    std::optional<std::function<void()>> popTask();
    std::optional<std::unique_ptr<Event>> popEvent();

    void run() override;
    void runTask (const std::function<void()>& task);
    void handleAsyncUpdate() override;

    void initViews();

    std::unique_ptr<juce::ImageComponent> picture;
    std::map<int, juce::Image> stepPictures;
    std::unique_ptr<PreparationView> preparationView;
    std::unique_ptr<UpdateView> updateView;
    std::unique_ptr<MessageToast> toast;

    // Never empty between construction and destruction; read and replaced
    // on the message thread only.
    std::unique_ptr<State> currentState;

    // Each mutex guards its own queue for one push or one pop, and is never
    // held while a task runs, a state works, or the other side is woken.
    std::mutex eventMutex;
    std::deque<std::unique_ptr<Event>> eventQueue;
    std::mutex taskMutex;
    std::deque<std::function<void()>> taskQueue;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
