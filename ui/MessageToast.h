#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The window's transient message: a dark rounded panel with centred light
// text that fades in over 500 ms, stays 5000 ms from the last show() and
// fades out over 500 ms by itself. Until its first show it is visible but
// fully transparent. It keeps its last text while hidden.
class MessageToast : public juce::Component,
                     public juce::Timer
{
public:
    MessageToast();

    // Sets the text only; neither visibility nor timing changes.
    void setMessage (const juce::String& text);

    // Fades in, or stays up when already fully shown, and restarts the
    // 5000 ms until the fade-out.
    void show();

    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

private:
    std::unique_ptr<juce::Label> messageLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MessageToast)
};
