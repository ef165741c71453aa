#include "ui/UrlButtonLookAndFeel.h"

#include "ui/Palette.h"

namespace lookandfeel
{
    void UrlButtonLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                                     const juce::Colour& backgroundColour, bool, bool)
    {
        const juce::Graphics::ScopedSaveState savedState (g);

        g.setColour (backgroundColour);
        g.fillRect (button.getLocalBounds());

        // Inset 38 pixels at each end whatever the text, so a link of 76
        // pixels or less has no underline at all.
        g.setColour (separatorColour);
        g.fillRect (38, button.getHeight() - 1, button.getWidth() - 76, 1);
    }
}
