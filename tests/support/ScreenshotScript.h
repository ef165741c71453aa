#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace testsupport
{
    // The program's half of scripts/lib/screenshot, for a program that drives
    // itself from look to look: each request goes out on standard output and
    // waits for the tool's answer on standard input, with the message loop
    // running, so that the window keeps painting meanwhile.
    //
    //   testsupport::ScreenshotScript script;
    //   page.showStep();
    //   if (! script.shot ("step_page", window)) return 1;
    class ScreenshotScript
    {
    public:
        ScreenshotScript();
        ~ScreenshotScript();

        // Has what `component` shows saved as NAME.png (letters, digits, '_',
        // '-', '.'), once what it last changed has been painted; true once
        // the tool says it did.
        bool shot (const juce::String& name, const juce::Component& component);

        // Has the tool click the left button at `position` of `component`
        // as a user would; true once it has. The click reaches the program
        // through the message loop later, as any click does.
        bool click (const juce::Component& component, juce::Point<int> position);

        // How long to wait for an answer: a limit for a tool that is stuck,
        // since a grab on a busy machine can take many seconds.
        int answerTimeoutMs = 60000;

    private:
        bool ask (const juce::String& request);

        struct Answers;
        std::shared_ptr<Answers> answers;
    };
}
