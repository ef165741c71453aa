#pragma once

#include <juce_graphics/juce_graphics.h>

namespace testsupport
{
    // What the X server shows in the area of the screen (physical pixels),
    // read through the screen's device context: the same bytes as the
    // screenshot tool's grab gives, in a few milliseconds and with no process
    // or file between, so that a page that is up for a second is looked at
    // many times even on a busy machine. An invalid image when the screen
    // cannot be read.
    juce::Image screenPixels (juce::Rectangle<int> area);
}
