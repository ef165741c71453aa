#include "ui/ProgressBarLookAndFeel.h"

namespace lookandfeel
{
    void ProgressBarLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                                  double progress, const juce::String&)
    {
        const auto background = bar.findColour (juce::ProgressBar::backgroundColourId);
        const auto foreground = bar.findColour (juce::ProgressBar::foregroundColourId);

        g.fillAll (background);

        if (progress >= 0.0 && progress < 1.0)
        {
            const auto innerWidth = (double) (width - 2);
            drawGlassLozenge (g, 1.0f, 1.0f, (float) juce::jlimit (0.0, innerWidth, innerWidth * progress),
                              (float) (height - 2), foreground, 0.5f, 0.0f, true, true, true, true);
        }
    }
}
