#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace lookandfeel
{
    // A plain progress bar: the background, and a square-cornered glass bar
    // for a progress from 0 up to but not including 1. No stripes for an
    // unknown progress, no text.
    class ProgressBarLookAndFeel : public juce::LookAndFeel_V2
    {
    public:
        void drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                              double progress, const juce::String& textToShow) override;
    };
}
