#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace lookandfeel
{
    // The base of the program's button looks: every text button drawn by one
    // of them writes in robotoMedium14, whatever the button's height.
    class ZezeziGenericButtonLookAndFeel : public juce::LookAndFeel_V3
    {
    public:
        juce::Font getTextButtonFont (juce::TextButton& button, int buttonHeight) override;
    };
}
