#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <functional>

// Looking at what a component draws, without a screen: its snapshot is
// painted in software into an image of its own size.
namespace testsupport
{
    inline juce::Image snapshotOf (juce::Component& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
    }

    // Stored colours are premultiplied, so a faint colour reads back with its
    // channels rounded; one step either way is the same colour.
    inline bool sameColour (juce::Colour actual, juce::Colour expected, int tolerance = 1)
    {
        const auto near = [tolerance] (int a, int b) { return std::abs (a - b) <= tolerance; };

        if (expected.getAlpha() == 0)
            return actual.getAlpha() == 0;

        return near (actual.getAlpha(), expected.getAlpha()) && near (actual.getRed(), expected.getRed())
               && near (actual.getGreen(), expected.getGreen()) && near (actual.getBlue(), expected.getBlue());
    }

    inline ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::Colour expected,
                                               int tolerance = 1)
    {
        const auto actual = image.getPixelAt (x, y);

        if (sameColour (actual, expected, tolerance))
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is #"
                                             << actual.toDisplayString (true) << ", expected #"
                                             << expected.toDisplayString (true);
    }

    inline int countPixels (const juce::Image& image, juce::Rectangle<int> area,
                            const std::function<bool (juce::Colour)>& matches)
    {
        int count = 0;
        area = area.getIntersection (image.getBounds());

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (matches (image.getPixelAt (x, y)))
                    ++count;

        return count;
    }

    // The summed alpha of an area: how much was drawn there.
    inline int inkIn (const juce::Image& image, juce::Rectangle<int> area)
    {
        int ink = 0;
        area = area.getIntersection (image.getBounds());

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                ink += image.getPixelAt (x, y).getAlpha();

        return ink;
    }

    inline bool samePixels (const juce::Image& a, const juce::Image& b)
    {
        if (a.getBounds() != b.getBounds())
            return false;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;

        return true;
    }
}
