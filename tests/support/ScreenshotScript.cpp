#include "support/ScreenshotScript.h"

#include "support/MessageLoop.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport
{
    // Filled by a thread that reads standard input, which may block for as
    // long as it likes: the thread is left to end with the process, and so
    // shares this with the script rather than pointing into it.
    struct ScreenshotScript::Answers
    {
        std::mutex lock;
        std::deque<std::string> lines;
        bool ended = false;

        bool next (std::string& line)
        {
            const std::lock_guard<std::mutex> hold (lock);

            if (lines.empty())
                return false;

            line = std::move (lines.front());
            lines.pop_front();
            return true;
        }
    };

    ScreenshotScript::ScreenshotScript() : answers (std::make_shared<Answers>())
    {
        std::thread ([shared = answers] {
            std::string line;

            while (std::getline (std::cin, line))
            {
                if (! line.empty() && line.back() == '\r')
                    line.pop_back();

                const std::lock_guard<std::mutex> hold (shared->lock);
                shared->lines.push_back (line);
            }

            const std::lock_guard<std::mutex> hold (shared->lock);
            shared->ended = true;
        }).detach();
    }

    ScreenshotScript::~ScreenshotScript() = default;

    bool ScreenshotScript::ask (const juce::String& request)
    {
        std::fprintf (stdout, "screenshot %s\n", request.toRawUTF8());
        std::fflush (stdout);

        std::string answer;
        const auto answered = pumpUntil (
            [this, &answer] {
                if (answers->next (answer))
                    return true;

                const std::lock_guard<std::mutex> hold (answers->lock);
                return answers->ended;
            },
            answerTimeoutMs);

        if (answered && answer == "ok")
            return true;

        std::fprintf (stderr, "screenshot %s: %s\n", request.toRawUTF8(),
                      answered ? (answer.empty() ? "no answer, input ended" : answer.c_str()) : "no answer in time");
        return false;
    }

    int ScreenshotScript::endWith (int exitCode)
    {
        std::fprintf (stdout, "screenshot end %d\n", exitCode & 0xff);
        std::fflush (stdout);
        return exitCode;
    }

    bool ScreenshotScript::shot (const juce::String& name, const juce::Component& component)
    {
        // A change made just now reaches the screen with the next vertical
        // blanks; the tool then waits for the picture to hold still.
        pumpFor (100);

        return shot (name, juce::Desktop::getInstance().getDisplays().logicalToPhysical (component.getScreenBounds()));
    }

    namespace
    {
        juce::String rectangleText (juce::Rectangle<int> area)
        {
            return juce::String (area.getX()) + " " + juce::String (area.getY()) + " " + juce::String (area.getWidth())
                   + " " + juce::String (area.getHeight());
        }

        juce::String pointText (juce::Point<int> point)
        {
            return juce::String (point.getX()) + " " + juce::String (point.getY());
        }
    }

    bool ScreenshotScript::shot (const juce::String& name, juce::Rectangle<int> screenArea)
    {
        return ask ("shot " + name + " " + rectangleText (screenArea));
    }

    juce::Image ScreenshotScript::picture (const juce::String& name) const
    {
        const auto folder = juce::SystemStats::getEnvironmentVariable ("KELVANE_SCREENSHOT_DIR", {});

        if (folder.isEmpty())
            return {};

        return juce::ImageFileFormat::loadFrom (juce::File (folder).getChildFile (name + ".png"));
    }

    bool ScreenshotScript::click (const juce::Component& component, juce::Point<int> position)
    {
        return click (juce::Desktop::getInstance().getDisplays().logicalToPhysical (
            component.localPointToGlobal (position)));
    }

    bool ScreenshotScript::click (juce::Point<int> screenPoint, int clicks)
    {
        return ask ("click " + pointText (screenPoint) + (clicks == 1 ? juce::String() : " " + juce::String (clicks)));
    }

    bool ScreenshotScript::movePointer (juce::Point<int> screenPoint)
    {
        return ask ("move " + pointText (screenPoint));
    }

    bool ScreenshotScript::pressKeys (const juce::String& keys)
    {
        return ask ("key " + keys);
    }
}
