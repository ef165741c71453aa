// The busy ring: 60 steps of six degrees clockwise, turning only while the
// spinner itself is visible, and going on from where it stopped.
#include "ui/Spinner.h"
#include "support/MessageLoop.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using testsupport::inkIn;
using testsupport::samePixels;
using testsupport::snapshotOf;

namespace
{
    void tick (Spinner& spinner, int times)
    {
        for (int i = 0; i < times; ++i)
            static_cast<juce::Timer&> (spinner).timerCallback();
    }

    // Small patches on the ring of a 48 by 48 spinner, half-way into each
    // quarter: at half past one, half past four, half past seven and half
    // past ten.
    const juce::Rectangle<int> onTheRing[] = { { 37, 6, 5, 5 }, { 37, 37, 5, 5 }, { 6, 37, 5, 5 }, { 6, 6, 5, 5 } };

    // Which quarter of the ring is open: the one patch without ink.
    int openQuarter (const juce::Image& image)
    {
        int open = -1;

        for (int quarter = 0; quarter < 4; ++quarter)
        {
            const auto ink = inkIn (image, onTheRing[quarter]);

            if (ink < 5 * 255)
            {
                if (open >= 0)
                    return -2;
                open = quarter;
            }
            else if (ink < 15 * 255)
            {
                return -3; // neither drawn nor open
            }
        }

        return open;
    }

    class SpinnerTest : public ::testing::Test
    {
    protected:
        SpinnerTest() { spinner.setSize (48, 48); }
        Spinner spinner;
    };
}

using SpinnerTurning = SpinnerTest;

TEST_F (SpinnerTurning, ANewSpinnerIsStillWithItsGapAtTheTopRight)
{
    EXPECT_FALSE (spinner.isVisible());
    EXPECT_FALSE (spinner.isTimerRunning());

    // The picture's gap spans twelve to three o'clock.
    EXPECT_EQ (openQuarter (snapshotOf (spinner)), 0);
}

TEST_F (SpinnerTurning, FifteenStepsTurnTheGapOneQuarterClockwise)
{
    spinner.setVisible (true);
    tick (spinner, 15);

    EXPECT_EQ (openQuarter (snapshotOf (spinner)), 1);
    tick (spinner, 15);
    EXPECT_EQ (openQuarter (snapshotOf (spinner)), 2);
    tick (spinner, 15);
    EXPECT_EQ (openQuarter (snapshotOf (spinner)), 3);
}

TEST_F (SpinnerTurning, SixtyStepsMakeOneTurn)
{
    const auto atStart = snapshotOf (spinner);
    spinner.setVisible (true);

    tick (spinner, 1);
    EXPECT_FALSE (samePixels (snapshotOf (spinner), atStart));
    tick (spinner, 58);
    EXPECT_FALSE (samePixels (snapshotOf (spinner), atStart));
    tick (spinner, 1);
    EXPECT_TRUE (samePixels (snapshotOf (spinner), atStart));
}

TEST_F (SpinnerTurning, HidingStopsItAtItsAngleAndShowingGoesOnFromThere)
{
    const auto atStart = snapshotOf (spinner);
    spinner.setVisible (true);
    EXPECT_TRUE (spinner.isTimerRunning());
    EXPECT_EQ (spinner.getTimerInterval(), 20);
    tick (spinner, 7);
    const auto atSeven = snapshotOf (spinner);

    spinner.setVisible (false);
    EXPECT_FALSE (spinner.isTimerRunning());
    EXPECT_TRUE (samePixels (snapshotOf (spinner), atSeven));

    spinner.setVisible (true);
    EXPECT_TRUE (spinner.isTimerRunning());
    EXPECT_TRUE (samePixels (snapshotOf (spinner), atSeven));
    tick (spinner, 53);
    EXPECT_TRUE (samePixels (snapshotOf (spinner), atStart));
}

TEST_F (SpinnerTurning, TurnsByItselfWhileVisible)
{
    const auto atStart = snapshotOf (spinner);
    spinner.setVisible (true);
    // Its own timer turns it; on a busy machine the first ticks may come
    // late, but they come.
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return ! samePixels (snapshotOf (spinner), atStart); }, 5000));
}

TEST_F (SpinnerTurning, HidingAParentLeavesItTurning)
{
    juce::Component page;
    page.addAndMakeVisible (spinner);
    spinner.setVisible (true);
    page.setVisible (false);
    EXPECT_TRUE (spinner.isTimerRunning());
}

TEST_F (SpinnerTurning, TheRingIsStretchedOntoTheSpinner)
{
    // 49 by 48 scaled to 48 by 48 leaves no column empty; at 96 by 48 it is
    // drawn twice as wide and still fills the spinner.
    for (const auto width : { 48, 96 })
    {
        spinner.setSize (width, 48);
        const auto image = snapshotOf (spinner);
        EXPECT_GT (inkIn (image, { 0, 0, 2, 48 }), 0) << width;
        EXPECT_GT (inkIn (image, { width - 2, 0, 2, 48 }), 0) << width;
        EXPECT_GT (inkIn (image, { 0, 46, width, 2 }), 0) << width;
        EXPECT_EQ (inkIn (image, { width / 2 - 6, 18, 12, 12 }), 0) << width;
    }

    // Of no size, the scaling collapses the ring to nothing.
    spinner.setSize (0, 0);
    juce::Image canvas (juce::Image::ARGB, 10, 10, true);
    {
        juce::Graphics g (canvas);
        spinner.paint (g);
    }
    EXPECT_EQ (inkIn (canvas, canvas.getBounds()), 0);
}
