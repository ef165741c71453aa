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

        // The same for a rectangle of the screen in physical pixels, for a
        // window of another program.
        bool shot (const juce::String& name, juce::Rectangle<int> screenArea);

        // A picture that this run saved, read back; a null image when there
        // is none of that name.
        juce::Image picture (const juce::String& name) const;

        // Has the tool click the left button at `position` of `component`
        // as a user would; true once it has. The click reaches the program
        // through the message loop later, as any click does.
        bool click (const juce::Component& component, juce::Point<int> position);

        // The same at a point of the screen in physical pixels, `clicks`
        // times in quick succession (2: a double click).
        bool click (juce::Point<int> screenPoint, int clicks = 1);

        // Moves the pointer there without a click, for instance out of the
        // way of a button that would otherwise show as hovered.
        bool movePointer (juce::Point<int> screenPoint);

        // Presses keys, by the X names joined with "+" ("alt+F4"), in the
        // window that has the keyboard.
        bool pressKeys (const juce::String& keys);

        // Tells the tool the code the program is about to exit with, and
        // returns it: `return ScreenshotScript::endWith (code);` last in main.
        // Wine kills a program whose clean-up at exit is slow, as it is on a
        // busy machine, and the tool then takes this code as the program's.
        static int endWith (int exitCode);

        // How long to wait for an answer: a limit for a tool that is stuck,
        // since a still picture on a busy machine can take many seconds.
        int answerTimeoutMs = 60000;

    private:
        bool ask (const juce::String& request);

        struct Answers;
        std::shared_ptr<Answers> answers;
    };
}
