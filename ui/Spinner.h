#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The busy indicator: the red ring with a gap, turning clockwise in 60 steps
// of six degrees while the spinner is visible, standing still while hidden.
// Only its own setVisible() starts and stops it, and it goes on from the
// angle at which it last stopped. It takes its size from its parent.
class Spinner : public juce::Component,
                public juce::Timer
{
public:
    Spinner();

    void setVisible (bool shouldBeVisible) override;
    void paint (juce::Graphics& g) override;
    void timerCallback() override;

private:
    juce::Image image;
    int step = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Spinner)
};
