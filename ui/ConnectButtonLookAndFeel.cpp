#include "ui/ConnectButtonLookAndFeel.h"

namespace lookandfeel
{
    void ConnectButtonLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                                         const juce::Colour& backgroundColour,
                                                         bool shouldDrawButtonAsHighlighted,
                                                         bool shouldDrawButtonAsDown)
    {
        const juce::Graphics::ScopedSaveState savedState (g);

        // A disabled button (the update page's "Updating") must not look
        // pressable, whatever its own colour is.
        auto colour = backgroundColour;

        if (! button.isEnabled())
            colour = juce::Colours::white.withMultipliedAlpha (0.1f);
        else if (shouldDrawButtonAsDown)
            colour = colour.darker().darker();
        else if (shouldDrawButtonAsHighlighted)
            colour = colour.darker();

        g.setColour (colour);

        // The framework caps the corner at half of each side, so a button at
        // least as wide as high gets semicircular ends.
        const auto height = (float) button.getHeight();
        g.fillRoundedRectangle (0.0f, 0.0f, (float) button.getWidth(), height, height * 0.5f);
    }

    void ConnectButtonLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
    {
        const auto font = getTextButtonFont (button, button.getHeight());
        g.setFont (font);

        if (button.isEnabled())
            g.setColour (button.findColour (button.getToggleState() ? juce::TextButton::textColourOnId
                                                                     : juce::TextButton::textColourOffId));
        else
            g.setColour (juce::Colours::white.withMultipliedAlpha (0.15f));

        // The framework's own text geometry; only the disabled colour is ours.
        const auto width = button.getWidth();
        const auto height = button.getHeight();
        const auto yIndent = juce::jmin (4, juce::roundToInt ((float) height * 0.3f));
        const auto cornerSize = juce::jmin (height, width) / 2;
        const auto fontHeight = juce::roundToInt (font.getHeight() * 0.6f);
        const auto leftIndent = juce::jmin (fontHeight, 2 + cornerSize / (button.isConnectedOnLeft() ? 4 : 2));
        const auto rightIndent = juce::jmin (fontHeight, 2 + cornerSize / (button.isConnectedOnRight() ? 4 : 2));
        const auto textWidth = width - leftIndent - rightIndent;

        if (textWidth > 0)
            g.drawFittedText (button.getButtonText(), leftIndent, yIndent, textWidth, height - yIndent * 2,
                              juce::Justification::centred, 2);
    }
}
