// The engine of MainComponent, driven with states made for the test that
// write what happens to them into one journal.
#include "app/MainComponent.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace
{
    using Journal = std::vector<std::string>;

    // A state whose answers the test gives as a function of the event.
    class ScriptedState : public State
    {
    public:
        using Answer = std::function<std::unique_ptr<State> (ScriptedState&, const Event&)>;
        using OnEnter = std::function<void (MainComponent&)>;

        ScriptedState (MainComponent* ownerComponent, Journal& journalToWrite, std::string stateName,
                       Answer answerToGive = {}, OnEnter onEnterToRun = {})
            : State (ownerComponent), journal (journalToWrite), name (std::move (stateName)),
              answer (std::move (answerToGive)), onEnter (std::move (onEnterToRun))
        {
        }

        ~ScriptedState() override { journal.push_back ("destroy " + name); }

        std::unique_ptr<State> clone() override { return std::make_unique<ScriptedState> (*this); }

        void enter() const override
        {
            journal.push_back ("enter " + name);

            if (onEnter)
                onEnter (*owner);
        }

        void exit() override { journal.push_back ("exit " + name); }

        std::unique_ptr<State> handle (const Event& event) override
        {
            journal.push_back ("handle " + name + " " + kindOf (event));
            return answer ? answer (*this, event) : nullptr;
        }

        MainComponent& ownerComponent() const { return *owner; }

        static std::string kindOf (const Event& event)
        {
            if (dynamic_cast<const ButtonClicked*> (&event) != nullptr) return "click";
            if (auto* finished = dynamic_cast<const TaskFinished*> (&event))
                return finished->success ? "finished(true)" : "finished(false)";
            return "other";
        }

        Journal& journal;
        std::string name;
        Answer answer;
        OnEnter onEnter;
    };

    // A click that writes its own end into the journal.
    struct JournaledClick : ButtonClicked
    {
        explicit JournaledClick (Journal& journalToWrite) : journal (journalToWrite) {}
        ~JournaledClick() override { journal.push_back ("destroy event"); }
        Journal& journal;
    };

    // Accepts clicks only, and moves on to the state `next` builds.
    ScriptedState::Answer onClick (std::function<std::unique_ptr<State> (ScriptedState&)> next)
    {
        return [next] (ScriptedState& self, const Event& event) -> std::unique_ptr<State> {
            if (dynamic_cast<const ButtonClicked*> (&event) == nullptr)
                return nullptr;
            return next (self);
        };
    }

    std::unique_ptr<State> plainState (ScriptedState& from, std::string name,
                                       ScriptedState::Answer answer = {}, ScriptedState::OnEnter onEnter = {})
    {
        return std::make_unique<ScriptedState> (&from.ownerComponent(), from.journal, std::move (name),
                                                std::move (answer), std::move (onEnter));
    }

    Journal since (const Journal& journal, size_t first)
    {
        return { journal.begin() + (std::ptrdiff_t) std::min (first, journal.size()), journal.end() };
    }
}

TEST (EngineSwitching, ExitRunsBeforeDestroyEnterAfterAndTheEventIsDestroyedLast)
{
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A",
                                                onClick ([] (ScriptedState& a) { return plainState (a, "B"); }));
    });

    ASSERT_EQ (journal, (Journal { "enter A" }));
    EXPECT_EQ (engine.getWidth(), 375);
    EXPECT_EQ (engine.getHeight(), 667);

    engine.postEvent (std::make_unique<JournaledClick> (journal));
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return journal.size() >= 6; }));

    EXPECT_EQ (since (journal, 1),
               (Journal { "handle A click", "exit A", "destroy A", "enter B", "destroy event" }));
}

TEST (EngineSwitching, AnEmptyAnswerKeepsTheStateAndDropsTheEvent)
{
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A",
                                                onClick ([] (ScriptedState& a) { return plainState (a, "B"); }));
    });

    engine.postEvent (std::make_unique<TaskFinished> (true));
    engine.postEvent (std::make_unique<PrepFinished> (std::string ("1.0")));
    engine.postEvent (std::make_unique<ButtonClicked>());
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return ! journal.empty() && journal.back() == "enter B"; }));

    // The dropped events never reach B, and A was neither left nor entered again.
    EXPECT_EQ (since (journal, 1), (Journal { "handle A finished(true)", "handle A other", "handle A click",
                                              "exit A", "destroy A", "enter B" }));
}

TEST (EngineSwitching, TwoQueuedClicksGoToSuccessiveStates)
{
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A", onClick ([] (ScriptedState& a) {
            return plainState (a, "B", onClick ([] (ScriptedState& b) { return plainState (b, "C"); }));
        }));
    });

    engine.postEvent (std::make_unique<ButtonClicked>());
    engine.postEvent (std::make_unique<ButtonClicked>());
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return ! journal.empty() && journal.back() == "enter C"; }));

    EXPECT_EQ (since (journal, 1), (Journal { "handle A click", "exit A", "destroy A", "enter B",
                                              "handle B click", "exit B", "destroy B", "enter C" }));
}

TEST (EngineSwitching, ASecondClickTheNextStateRefusesIsDropped)
{
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A",
                                                onClick ([] (ScriptedState& a) { return plainState (a, "B"); }));
    });

    engine.postEvent (std::make_unique<ButtonClicked>());
    engine.postEvent (std::make_unique<ButtonClicked>());
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return journal.size() >= 6; }));
    testsupport::pumpFor (50);

    EXPECT_EQ (since (journal, 1),
               (Journal { "handle A click", "exit A", "destroy A", "enter B", "handle B click" }));
}

TEST (EngineSwitching, AnEventPostedDuringHandlingComesAfterTheNewStatesEnter)
{
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (
            owner, journal, "A", onClick ([] (ScriptedState& a) {
                return plainState (a, "B", {}, [] (MainComponent& component) {
                    component.postEvent (std::make_unique<TaskFinished> (false));
                });
            }));
    });

    engine.postEvent (std::make_unique<ButtonClicked>());
    engine.postEvent (std::make_unique<TaskFinished> (true));
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return journal.size() >= 7; }));

    // Queued before B was entered, the first result comes first.
    EXPECT_EQ (since (journal, 1), (Journal { "handle A click", "exit A", "destroy A", "enter B",
                                              "handle B finished(true)", "handle B finished(false)" }));
}

TEST (EngineSwitching, DestructionLeavesTheCurrentStateOnce)
{
    Journal journal;
    {
        MainComponent engine ([&] (MainComponent* owner) {
            return std::make_unique<ScriptedState> (owner, journal, "A");
        });
        engine.postEvent (std::make_unique<JournaledClick> (journal)); // never handled
    }

    EXPECT_EQ (journal, (Journal { "enter A", "exit A", "destroy event", "destroy A" }));
}

TEST (EngineWorker, TasksRunInOrderOnTheWorkerAndTheirEventsReachTheMessageThread)
{
    Journal journal;
    std::atomic<bool> handledOnMessageThread { false };
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (
            owner, journal, "A", [&] (ScriptedState&, const Event& event) -> std::unique_ptr<State> {
                if (dynamic_cast<const TaskFinished*> (&event) != nullptr)
                    handledOnMessageThread = juce::MessageManager::existsAndIsCurrentThread();
                return nullptr;
            });
    });

    std::mutex taskJournalMutex;
    std::vector<int> ran;
    std::atomic<bool> onMessageThread { true };
    auto* component = &engine;
    const auto note = [&] (int task) {
        const std::lock_guard<std::mutex> lock (taskJournalMutex);
        ran.push_back (task);
    };
    const auto ranSoFar = [&] {
        const std::lock_guard<std::mutex> lock (taskJournalMutex);
        return ran.size();
    };

    // The second task is pushed while the first runs: no further push needed.
    engine.pushTask ([&] {
        onMessageThread = juce::MessageManager::existsAndIsCurrentThread();
        std::this_thread::sleep_for (std::chrono::milliseconds (200));
        note (1);
    });
    std::this_thread::sleep_for (std::chrono::milliseconds (50));
    engine.pushTask ([&] { note (2); });

    // The third comes once the drain has found the queue empty and the
    // worker has gone back to its wait: only its own wake-up can run it.
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return ranSoFar() == 2; }));
    std::this_thread::sleep_for (std::chrono::milliseconds (100));
    engine.pushTask ([&, component] {
        note (3);
        component->postEvent (std::make_unique<TaskFinished> (true));
    });

    ASSERT_TRUE (testsupport::pumpUntil ([&] { return journal.size() >= 2; }))
        << "the task pushed to a waiting worker never ran";
    EXPECT_EQ (ran, (std::vector<int> { 1, 2, 3 }));
    EXPECT_FALSE (onMessageThread);
    EXPECT_TRUE (handledOnMessageThread);
    EXPECT_EQ (journal.back(), "handle A finished(true)");
}

namespace
{
    // Takes what the framework's log is given, from any thread, for as long
    // as it lives.
    class RecordingLogger : public juce::Logger
    {
    public:
        RecordingLogger() { juce::Logger::setCurrentLogger (this); }
        ~RecordingLogger() override { juce::Logger::setCurrentLogger (nullptr); }

        void logMessage (const juce::String& message) override
        {
            const std::lock_guard<std::mutex> lock (mutex);
            messages.add (message);
        }

        juce::StringArray taken() const
        {
            const std::lock_guard<std::mutex> lock (mutex);
            return messages;
        }

    private:
        mutable std::mutex mutex;
        juce::StringArray messages;
    };

    struct ThrowingTask
    {
        const char* name;
        std::function<void()> task;
        const char* logged; // a part of the line that the log must get
    };

    class EngineThrowingTask : public testing::TestWithParam<ThrowingTask>
    {
    };
}

// A task that throws ends without its event; the worker says so in the
// framework's log and serves the tasks that come after it.
TEST_P (EngineThrowingTask, IsLoggedAndTheNextTaskStillRuns)
{
    RecordingLogger logger;
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A");
    });
    auto* component = &engine;

    engine.pushTask (GetParam().task);
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return ! logger.taken().isEmpty(); }))
        << "nothing was logged of the task that threw";

    // Pushed once the thrown task is over: a worker that it ended would
    // never run this one.
    engine.pushTask ([component] { component->postEvent (std::make_unique<TaskFinished> (true)); });
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return journal.size() >= 2; }))
        << "the worker ran no task after the one that threw";
    testsupport::pumpFor (50);

    EXPECT_EQ (journal, (Journal { "enter A", "handle A finished(true)" }));
    const auto lines = logger.taken();
    ASSERT_EQ (lines.size(), 1) << lines.joinIntoString ("\n");
    EXPECT_TRUE (lines[0].contains (GetParam().logged)) << lines[0];
}

INSTANTIATE_TEST_SUITE_P (
    EngineWorker, EngineThrowingTask,
    testing::Values (
        // What std::thread throws when no thread can be started.
        ThrowingTask { "ThreadStartFailure",
                       [] {
                           throw std::system_error (std::make_error_code (std::errc::resource_unavailable_try_again),
                                                    "reader thread");
                       },
                       "reader thread" },
        ThrowingTask { "NotAnException", [] { throw 42; }, "unknown" }),
    [] (const testing::TestParamInfo<ThrowingTask>& p) { return std::string (p.param.name); });

namespace
{
    // Destroyed when its thread ends on its own; a killed thread never runs
    // its thread-local destructors.
    struct ThreadEndWitness
    {
        std::atomic<bool>* ended = nullptr;
        ~ThreadEndWitness()
        {
            if (ended != nullptr)
                *ended = true;
        }
    };
}

TEST (EngineStop, AnIdleWorkerEndsOnItsOwnWithoutBeingKilled)
{
    Journal journal;
    auto engine = std::make_unique<MainComponent> ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A");
    });

    int killsSeen = 0;
    engine->onWorkerKilled = [&killsSeen] { ++killsSeen; };

    std::atomic<bool> taskRan { false };
    std::atomic<bool> threadEnded { false };
    engine->pushTask ([&] {
        thread_local ThreadEndWitness witness;
        witness.ended = &threadEnded;
        taskRan = true;
    });
    while (! taskRan)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    std::this_thread::sleep_for (std::chrono::milliseconds (20)); // back in its wait

    // Timing alone cannot tell a prompt stop from the 100 ms kill on a busy
    // machine; whether the thread's own exit ran can.
    const auto start = std::chrono::steady_clock::now();
    engine = nullptr;
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::milliseconds (1000));
    EXPECT_EQ (killsSeen, 0);

    // The thread's exit may still be finishing once the wait is over.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (2);
    while (! threadEnded && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    EXPECT_TRUE (threadEnded);
}

TEST (EngineStop, ALongTaskIsKilledAndItsEventNeverPosted)
{
    Journal journal;
    std::atomic<bool> taskEnded { false };
    auto engine = std::make_unique<MainComponent> ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A");
    });

    // The owner hears of the kill once, after it, while the engine goes.
    int killsSeen = 0;
    engine->onWorkerKilled = [&killsSeen, &journal] {
        ++killsSeen;
        EXPECT_EQ (journal.back(), "exit A");
    };

    std::atomic<bool> taskStarted { false };
    auto* component = engine.get();
    engine->pushTask ([&, component] {
        taskStarted = true;
        juce::Thread::sleep (2048);
        taskEnded = true;
        component->postEvent (std::make_unique<TaskFinished> (true));
    });
    while (! taskStarted)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));

    const auto start = std::chrono::steady_clock::now();
    engine = nullptr;
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_GE (took, std::chrono::milliseconds (90));
    EXPECT_LT (took, std::chrono::milliseconds (1000));
    EXPECT_EQ (killsSeen, 1);
    std::this_thread::sleep_for (std::chrono::milliseconds (2200));
    EXPECT_FALSE (taskEnded);
    EXPECT_EQ (journal, (Journal { "enter A", "exit A", "destroy A" }));
}

TEST (EngineStop, AQueuedTaskThatNeverStartedIsDiscardedUnrun)
{
    Journal journal;
    auto engine = std::make_unique<MainComponent> ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A");
    });

    std::atomic<bool> longTaskStarted { false };
    std::atomic<bool> queuedTaskRan { false };
    engine->pushTask ([&] {
        longTaskStarted = true;
        juce::Thread::sleep (2048);
    });
    while (! longTaskStarted)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));

    auto capture = std::make_shared<int> (0);
    std::weak_ptr<int> captured = capture;
    engine->pushTask ([&queuedTaskRan, capture] { queuedTaskRan = true; });
    capture = nullptr;

    engine = nullptr;
    EXPECT_TRUE (captured.expired()) << "the queued task was not destroyed with the engine";
    std::this_thread::sleep_for (std::chrono::milliseconds (300));
    EXPECT_FALSE (queuedTaskRan);
}

TEST (EngineStop, TheCurrentStateIsLeftWhileTheWorkerStillRuns)
{
    // A task that ends as soon as it sees the state's exit: it can see it only
    // when the exit comes before the worker is stopped.
    std::atomic<bool> exited { false };
    std::atomic<bool> taskStarted { false };
    std::atomic<bool> taskSawTheExit { false };

    struct ExitSignallingState : State
    {
        ExitSignallingState (MainComponent* ownerComponent, std::atomic<bool>& flag)
            : State (ownerComponent), exited (flag) {}
        std::unique_ptr<State> clone() override { return std::make_unique<ExitSignallingState> (owner, exited); }
        void exit() override { exited = true; }
        std::unique_ptr<State> handle (const Event&) override { return nullptr; }
        std::atomic<bool>& exited;
    };

    auto engine = std::make_unique<MainComponent> ([&] (MainComponent* owner) {
        return std::make_unique<ExitSignallingState> (owner, exited);
    });
    engine->pushTask ([&] {
        taskStarted = true;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds (5);
        while (! exited && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        taskSawTheExit = exited.load();
    });
    while (! taskStarted)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));

    engine = nullptr;
    EXPECT_TRUE (exited);
    EXPECT_TRUE (taskSawTheExit);
}

namespace
{
    struct RefusedPost
    {
        const char* name;
        std::function<void (MainComponent&)> post;
    };

    class EngineRefusal : public testing::TestWithParam<RefusedPost>
    {
    };
}

// A release build drops what it cannot use; the engine works on as before.
TEST_P (EngineRefusal, IsDroppedAndTheEngineGoesOn)
{
    Journal journal;
    MainComponent engine ([&] (MainComponent* owner) {
        return std::make_unique<ScriptedState> (owner, journal, "A");
    });

    GetParam().post (engine);
    std::atomic<bool> laterTaskRan { false };
    auto* component = &engine;
    engine.pushTask ([&laterTaskRan, component] {
        laterTaskRan = true;
        component->postEvent (std::make_unique<TaskFinished> (true));
    });
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return journal.size() >= 2; }));
    testsupport::pumpFor (50);

    EXPECT_TRUE (laterTaskRan);
    EXPECT_EQ (journal, (Journal { "enter A", "handle A finished(true)" }));
}

INSTANTIATE_TEST_SUITE_P (
    EngineRefusal, EngineRefusal,
    testing::Values (RefusedPost { "NullEvent", [] (MainComponent& engine) { engine.postEvent (nullptr); } },
                     RefusedPost { "EmptyTask", [] (MainComponent& engine) { engine.pushTask ({}); } },
                     RefusedPost { "NullEventFromTheWorker",
                                   [] (MainComponent& engine) {
                                       auto* component = &engine;
                                       engine.pushTask ([component] { component->postEvent (nullptr); });
                                   } }),
    [] (const testing::TestParamInfo<RefusedPost>& p) { return std::string (p.param.name); });
