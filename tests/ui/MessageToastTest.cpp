// The toast's states: new and transparent, fading in, up, fading out, down.
#include "ui/MessageToast.h"
#include "ui/Palette.h"
#include "support/Children.h"
#include "support/MessageLoop.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

namespace
{
    juce::ComponentAnimator& animator() { return juce::Desktop::getInstance().getAnimator(); }

    void fireHideTimer (MessageToast& toast) { static_cast<juce::Timer&> (toast).timerCallback(); }

    juce::String textOf (MessageToast& toast) { return testsupport::childAt<juce::Label> (toast, 0).getText(); }

    // The window part above which the host places the toast.
    class ToastTest : public ::testing::Test
    {
    protected:
        ToastTest()
        {
            window.setSize (375, 667);
            window.addAndMakeVisible (toast);
            toast.setBounds (40, 40, 295, 80);
        }

        ~ToastTest() override { animator().cancelAllAnimations (false); }

        // Puts the window on screen, so the toast is showing.
        void putOnScreen()
        {
            window.addToDesktop (0);
            window.setVisible (true);
            ASSERT_TRUE (toast.isShowing());
        }

        // A busy machine may hold back the animator's timer, but not ten fades long.
        bool fullyUp() { return testsupport::pumpUntil ([this] { return toast.getAlpha() == 1.0f; }, 5000); }

        juce::Component window;
        MessageToast toast;
    };
}

using Toast = ToastTest;

TEST_F (Toast, IsVisibleButTransparentUntilItsFirstShow)
{
    EXPECT_TRUE (toast.isVisible());
    EXPECT_EQ (toast.getAlpha(), 0.0f);
    EXPECT_FALSE (toast.isTimerRunning());

    // Its label covers it whole.
    EXPECT_EQ (testsupport::childAt<juce::Label> (toast, 0).getBounds(), juce::Rectangle<int> (0, 0, 295, 80));
}

TEST_F (Toast, DrawsADarkRoundedPanel)
{
    toast.setMessage ("Cannot detect the device!");
    const auto image = testsupport::snapshotOf (toast);

    EXPECT_TRUE (testsupport::pixelIs (image, 5, 40, toastColour));
    EXPECT_TRUE (testsupport::pixelIs (image, 147, 2, toastColour));
    EXPECT_TRUE (testsupport::pixelIs (image, 0, 0, juce::Colour (0x00000000)));
    EXPECT_TRUE (testsupport::pixelIs (image, 294, 79, juce::Colour (0x00000000)));
    EXPECT_GT (testsupport::countPixels (image, image.getBounds(),
                                         [] (juce::Colour c) { return testsupport::sameColour (c, toastTextColour, 2); }),
               0);
}

TEST_F (Toast, TheFirstShowFadesInFromTransparent)
{
    toast.setMessage ("Failed to update MCU!");
    toast.show();

    EXPECT_TRUE (toast.isVisible());
    EXPECT_EQ (toast.getAlpha(), 0.0f);
    EXPECT_TRUE (animator().isAnimating (&toast));
    EXPECT_TRUE (toast.isTimerRunning());
    EXPECT_EQ (toast.getTimerInterval(), 5000);

    const auto start = juce::Time::getMillisecondCounter();
    ASSERT_TRUE (fullyUp());
    const auto took = juce::Time::getMillisecondCounter() - start;
    // A fade of half a second: not a jump, and not one of the five seconds
    // that the toast then stays up, however late the animator's ticks came.
    EXPECT_GE (took, 400u);
    EXPECT_LT (took, 3000u);
    EXPECT_EQ (textOf (toast), "Failed to update MCU!");
}

TEST_F (Toast, AShowDuringTheFadeInStartsItAgainFromTransparent)
{
    toast.show();
    ASSERT_TRUE (testsupport::pumpUntil ([this] { return toast.getAlpha() > 0.0f; }, 5000));

    // Partway up, as a tick of the animator leaves it. Set here when the
    // tick came so late that the fade was already over: a busy machine may
    // hold the message loop for longer than the whole fade.
    if (toast.getAlpha() == 1.0f)
    {
        animator().animateComponent (&toast, toast.getBounds(), 1.0f, 500, false, 1.0, 1.0);
        toast.setAlpha (0.4f);
    }

    ASSERT_TRUE (animator().isAnimating (&toast));
    ASSERT_LT (toast.getAlpha(), 1.0f);

    toast.show();
    EXPECT_EQ (toast.getAlpha(), 0.0f);
    EXPECT_TRUE (animator().isAnimating (&toast));
    EXPECT_EQ (toast.getTimerInterval(), 5000);
    EXPECT_TRUE (fullyUp());
}

TEST_F (Toast, AShowWhileUpTakesTheNewTextAtOnce)
{
    toast.setMessage ("first");
    toast.show();
    ASSERT_TRUE (fullyUp());

    toast.setMessage ("second");
    toast.show();

    EXPECT_EQ (toast.getAlpha(), 1.0f);
    EXPECT_FALSE (animator().isAnimating (&toast));
    EXPECT_TRUE (toast.isTimerRunning());
    EXPECT_EQ (textOf (toast), "second");
}

TEST_F (Toast, TheHideTimerHidesItWithoutAFadeWhenNotShowing)
{
    // The window is not on screen (as when minimised): nothing to fade.
    toast.setMessage ("Cannot detect the device!");
    toast.show();
    ASSERT_TRUE (fullyUp());
    ASSERT_FALSE (toast.isShowing());

    fireHideTimer (toast);

    EXPECT_FALSE (toast.isVisible());
    EXPECT_FALSE (toast.isTimerRunning());
    EXPECT_FALSE (animator().isAnimating (&toast));
    EXPECT_EQ (window.getNumChildComponents(), 1);
    EXPECT_EQ (textOf (toast), "Cannot detect the device!") << "the text stays as it was";
}

TEST_F (Toast, TheHideTimerFadesASnapshotOutWhenShowing)
{
    putOnScreen();
    toast.setMessage ("Failed to install USB driver!");
    toast.show();
    ASSERT_TRUE (fullyUp());

    fireHideTimer (toast);

    EXPECT_FALSE (toast.isVisible());
    EXPECT_FALSE (toast.isTimerRunning());
    EXPECT_TRUE (animator().isAnimating (&toast));
    ASSERT_EQ (window.getNumChildComponents(), 2) << "the fading snapshot";

    EXPECT_TRUE (testsupport::pumpUntil ([this] { return window.getNumChildComponents() == 1; }, 5000));
    EXPECT_EQ (textOf (toast), "Failed to install USB driver!");
}

TEST_F (Toast, AShowDuringTheFadeOutDropsTheSnapshotAndFadesInAgain)
{
    putOnScreen();
    toast.show();
    ASSERT_TRUE (fullyUp());
    fireHideTimer (toast);
    ASSERT_EQ (window.getNumChildComponents(), 2);

    toast.show();

    EXPECT_EQ (window.getNumChildComponents(), 1);
    EXPECT_TRUE (toast.isVisible());
    EXPECT_EQ (toast.getAlpha(), 0.0f);
    EXPECT_TRUE (toast.isTimerRunning());
    EXPECT_TRUE (fullyUp());
}
