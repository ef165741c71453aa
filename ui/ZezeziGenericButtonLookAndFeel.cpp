#include "ui/ZezeziGenericButtonLookAndFeel.h"

#include "ui/Fonts.h"

namespace lookandfeel
{
    juce::Font ZezeziGenericButtonLookAndFeel::getTextButtonFont (juce::TextButton&, int)
    {
        return robotoMedium14;
    }
}
