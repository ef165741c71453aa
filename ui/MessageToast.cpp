#include "ui/MessageToast.h"

#include "ui/Fonts.h"
#include "ui/Palette.h"

namespace
{
    constexpr int fadeInMs = 500;
    constexpr int stayUpMs = 5000;
    constexpr int fadeOutMs = 500;
    constexpr float cornerSize = 10.0f;
}

MessageToast::MessageToast()
{
    messageLabel = std::make_unique<juce::Label>();
    messageLabel->setFont (robotoRegular16);
    messageLabel->setColour (juce::Label::textColourId, toastTextColour);
    messageLabel->setJustificationType (juce::Justification::centred);
    addAndMakeVisible (*messageLabel);

    setAlpha (0.0f);
}

void MessageToast::setMessage (const juce::String& text)
{
    messageLabel->setText (text, juce::dontSendNotification);
}

void MessageToast::show()
{
    stopTimer();

    // Only a toast that is fully up takes a new text without a new fade; one
    // that is fading in starts again from transparent.
    if (! (isVisible() && getAlpha() == 1.0f))
    {
        setAlpha (0.0f);
        setVisible (true);
        juce::Desktop::getInstance().getAnimator().animateComponent (this, getBounds(), 1.0f, fadeInMs,
                                                                     false, 1.0, 1.0);
    }

    startTimer (stayUpMs);
}

void MessageToast::timerCallback()
{
    // The animator fades a snapshot, so the message stays on screen for the
    // fade although the toast itself is hidden at once. A toast that is not
    // on screen (a minimised window) just goes.
    if (isShowing())
        juce::Desktop::getInstance().getAnimator().animateComponent (this, getBounds(), 0.0f, fadeOutMs,
                                                                     true, 1.0, 1.0);

    setVisible (false);
    stopTimer();
}

void MessageToast::paint (juce::Graphics& g)
{
    const juce::Graphics::ScopedSaveState savedState (g);
    g.setColour (toastColour);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) getWidth(), (float) getHeight(), cornerSize);
}

void MessageToast::resized()
{
    messageLabel->setSize (getWidth(), getHeight());
    messageLabel->setTopLeftPosition (0, 0);
}
