#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace testsupport
{
    // Runs the message loop in runs of `runMs` until `done` holds or
    // `timeoutMs` has passed; returns whether `done` held. A run for no time
    // hands out at most one message, or sleeps a millisecond when none waits.
    inline bool pumpInRunsUntil (const std::function<bool()>& done, int timeoutMs, int runMs)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! done())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (runMs);
        }

        return true;
    }

    // For a state that stays once it has come.
    inline bool pumpUntil (const std::function<bool()>& done, int timeoutMs = 5000)
    {
        return pumpInRunsUntil (done, timeoutMs, 5);
    }

    // Looks after every message that the loop hands out, so a state that
    // lasts from one message to the next is seen, where a run of the loop
    // for even 5 ms can hand out both messages on a busy machine. A state
    // that one message makes and ends is never seen: a test holds what ends
    // it until it has looked.
    inline bool pumpUntilSeen (const std::function<bool()>& done, int timeoutMs = 5000)
    {
        return pumpInRunsUntil (done, timeoutMs, 0);
    }

    // Runs the message loop for a while, for what must not happen.
    inline void pumpFor (int ms)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
    }
}
