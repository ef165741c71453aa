#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace testsupport
{
    // Runs the message loop until `done` holds or `timeoutMs` has passed;
    // returns whether `done` held.
    inline bool pumpUntil (const std::function<bool()>& done, int timeoutMs = 5000)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! done())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
        }

        return true;
    }

    // Runs the message loop for a while, for what must not happen.
    inline void pumpFor (int ms)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
    }
}
