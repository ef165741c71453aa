#pragma once

#include "ui/ZezeziGenericButtonLookAndFeel.h"

namespace lookandfeel
{
    // The pages' action button: a pill in the button's own colour, darker when
    // hovered and darker again when pressed, and a faint white one while the
    // button is disabled.
    class ConnectButtonLookAndFeel : public ZezeziGenericButtonLookAndFeel
    {
    public:
        void drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                                   bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

        void drawButtonText (juce::Graphics& g, juce::TextButton& button,
                             bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    };
}
