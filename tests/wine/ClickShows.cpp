// Shows a window with one button, red until it is clicked and green after,
// and has scripts/lib/screenshot take it before and after a click on it
// (before.png, after.png). Prints whether the click arrived and whether the
// button was painted again after it; exits 0 when the click arrived.
#include "support/MessageLoop.h"
#include "support/ScreenshotScript.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>

namespace
{
    const juce::Colour unclickedColour (0xffd02020);
    const juce::Colour clickedColour (0xff20b020);

    // All one colour, so that a picture of it tells its state at a glance.
    class ColourButton : public juce::Button
    {
    public:
        ColourButton() : juce::Button ("click me") { setClickingTogglesState (true); }

        void paintButton (juce::Graphics& g, bool, bool) override
        {
            g.fillAll (getToggleState() ? clickedColour : unclickedColour);
            ++paints;
        }

        int paints = 0;
    };

    class ClickWindow : public juce::Component
    {
    public:
        ClickWindow()
        {
            addAndMakeVisible (button);
            setBounds (200, 200, 240, 160);
        }

        void resized() override { button.setBounds (getLocalBounds().reduced (20)); }

        void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::white); }

        ColourButton button;
    };

    int run()
    {
        testsupport::ScreenshotScript script;
        ClickWindow window;
        window.addToDesktop (juce::ComponentPeer::windowHasTitleBar);
        window.setVisible (true);

        // The limits below are for a program that is stuck, not a slow one:
        // on a busy machine a click or a vertical blank can take seconds to
        // come through Wine, and each wait ends as soon as it holds.
        if (! testsupport::pumpUntil ([&] { return window.button.paints > 0; }, 30000))
        {
            std::printf ("the window was never painted\n");
            return 1;
        }

        int paintsAtClick = -1;
        window.button.onClick = [&] { paintsAtClick = window.button.paints; };

        if (! script.shot ("before", window) || ! script.click (window.button, window.button.getLocalBounds().getCentre()))
            return 1;

        const auto arrived = testsupport::pumpUntil ([&] { return paintsAtClick >= 0; }, 20000);
        const auto repainted = arrived
                               && testsupport::pumpUntil ([&] { return window.button.paints > paintsAtClick; }, 10000);
        std::printf ("clicked %s\nrepainted %s\n", arrived ? "yes" : "no", repainted ? "yes" : "no");
        std::fflush (stdout);

        if (! script.shot ("after", window))
            return 1;

        return arrived ? 0 : 1;
    }
}

int main()
{
    const juce::ScopedJuceInitialiser_GUI framework;
    return testsupport::ScreenshotScript::endWith (run());
}
