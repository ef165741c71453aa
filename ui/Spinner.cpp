#include "ui/Spinner.h"

#include "resources/BinaryData.h"

namespace
{
    constexpr int stepsPerTurn = 60;
    constexpr float radiansPerStep = 0.10471976f; // 2 pi / 60, six degrees
    constexpr int tickMs = 20;                    // a turn in 1.2 s
}

Spinner::Spinner()
    : image (juce::ImageFileFormat::loadFrom (BinaryData::loading_loop_rim_png,
                                              (size_t) BinaryData::loading_loop_rim_pngSize))
{
}

void Spinner::setVisible (bool shouldBeVisible)
{
    juce::Component::setVisible (shouldBeVisible);

    if (shouldBeVisible)
        startTimer (tickMs);
    else
        stopTimer();
}

void Spinner::timerCallback()
{
    repaint();

    if (++step >= stepsPerTurn)
        step = 0;
}

void Spinner::paint (juce::Graphics& g)
{
    if (! image.isValid())
        return;

    // Turned about the picture's own centre first, then each axis stretched
    // onto the component's, so the ring (49 by 48) is centred in any size.
    const auto iw = (float) image.getWidth();
    const auto ih = (float) image.getHeight();
    const auto transform = juce::AffineTransform::translation (-iw * 0.5f, -ih * 0.5f)
                               .rotated ((float) step * radiansPerStep)
                               .translated (iw * 0.5f, ih * 0.5f)
                               .scaled ((float) getWidth() / iw, (float) getHeight() / ih);

    g.drawImageTransformed (image, transform);
}
