#pragma once

#include "ui/ZezeziGenericButtonLookAndFeel.h"

namespace lookandfeel
{
    // The help link: its button colour (transparent on the preparation page)
    // with a faint underline on its bottom row, the same hovered or pressed.
    // The text is the framework's, in robotoMedium14.
    class UrlButtonLookAndFeel : public ZezeziGenericButtonLookAndFeel
    {
    public:
        void drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                                   bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    };
}
