// The preparation page: its layout (which follows the heights of the last
// one), its two looks, and its one action.
#include "ui/PreparationView.h"
#include "support/Children.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>

using testsupport::childAt;
using Bounds = juce::Rectangle<int>;

namespace
{
    // The page's children by their place in the child order.
    struct Page
    {
        Page() : view ([this] { ++clicks; }) {}

        juce::Label& title() { return childAt<juce::Label> (view, 0); }
        juce::Label& description() { return childAt<juce::Label> (view, 1); }
        juce::TextButton& action() { return childAt<juce::TextButton> (view, 2); }
        Spinner& spinner() { return childAt<Spinner> (view, 3); }
        juce::DrawableButton& helpIcon() { return childAt<juce::DrawableButton> (view, 4); }
        juce::TextButton& link() { return childAt<juce::TextButton> (view, 5); }

        int clicks = 0;
        PreparationView view;
    };
}

TEST (PreparationViewLayout, FirstLayoutAtThePageSlotOfTheWindow)
{
    Page page;
    page.view.setSize (295, 331);

    EXPECT_EQ (page.title().getBounds(), Bounds (0, 0, 295, 40));
    EXPECT_EQ (page.description().getBounds(), Bounds (0, 40, 295, 137));
    EXPECT_EQ (page.action().getBounds(), Bounds (0, 177, 295, 46));
    EXPECT_EQ (page.link().getBounds(), Bounds (5, 280, 295, 51));
    EXPECT_EQ (page.helpIcon().getBounds(), Bounds (97, 293, 25, 25));
    EXPECT_EQ (page.spinner().getBounds(), Bounds (123, 129, 48, 48));
}

TEST (PreparationViewLayout, RepeatedLayoutsFollowTheLastHeightsUntilTheySettle)
{
    Page page;
    page.view.setSize (295, 331);
    page.view.resized();

    EXPECT_EQ (page.description().getBounds(), Bounds (0, 40, 295, 129));
    EXPECT_EQ (page.action().getBounds(), Bounds (0, 169, 295, 50));
    EXPECT_EQ (page.link().getBounds(), Bounds (5, 273, 295, 58));
    EXPECT_EQ (page.helpIcon().getBounds(), Bounds (97, 290, 25, 25));
    EXPECT_EQ (page.spinner().getBounds(), Bounds (123, 121, 48, 48));

    for (const auto linkHeight : { 62, 64, 65, 66, 67, 67, 67 })
    {
        page.view.resized();
        EXPECT_EQ (page.link().getHeight(), linkHeight);
        EXPECT_EQ (page.link().getBottom(), 331);
    }
}

TEST (PreparationViewLayout, LowPageGivesTheButtonItsMinimum)
{
    Page page;
    page.view.setSize (295, 200);

    EXPECT_EQ (page.description().getBounds(), Bounds (0, 40, 295, 69));
    EXPECT_EQ (page.action().getBounds(), Bounds (0, 109, 295, 32));
    EXPECT_EQ (page.link().getBounds(), Bounds (5, 172, 295, 28));
    EXPECT_EQ (page.helpIcon().getBounds(), Bounds (97, 174, 25, 25));
}

struct NarrowCase
{
    int width;
    int iconX;
    int spinnerX;
};

class NarrowPreparationView : public ::testing::TestWithParam<NarrowCase>
{
};

TEST_P (NarrowPreparationView, IconAndSpinnerFollowTheCentreLine)
{
    const auto [width, iconX, spinnerX] = GetParam();
    Page page;
    page.view.setSize (width, 331);

    EXPECT_EQ (page.helpIcon().getX(), iconX);
    EXPECT_EQ (page.spinner().getX(), spinnerX);
    EXPECT_EQ (page.link().getBounds().withY (0).withHeight (1), Bounds (5, 0, width, 1));
}

INSTANTIATE_TEST_SUITE_P (PreparationViewLayout, NarrowPreparationView,
                          ::testing::Values (NarrowCase { 295, 97, 123 }, NarrowCase { 120, 10, 36 },
                                             NarrowCase { 100, 0, 26 }, NarrowCase { 40, -30, -4 }));

TEST (PreparationViewModes, StartsWithNoTextsAndNoTitle)
{
    Page page;

    EXPECT_FALSE (page.title().isVisible());
    EXPECT_TRUE (page.description().isVisible());
    EXPECT_TRUE (page.action().isVisible());
    EXPECT_TRUE (page.action().isEnabled());
    EXPECT_EQ (page.action().getButtonText(), "");
    EXPECT_FALSE (page.spinner().isVisible());
    EXPECT_FALSE (page.spinner().isTimerRunning());
    EXPECT_TRUE (page.helpIcon().isVisible());
    EXPECT_TRUE (page.link().isVisible());
    EXPECT_EQ (page.link().getButtonText(), "Help Center");
}

TEST (PreparationViewModes, BusyHidesTheStepWithoutClearingIt)
{
    Page page;
    page.view.showStep ("Update Failed", "Please try again.", "Retry");

    EXPECT_TRUE (page.title().isVisible());
    EXPECT_EQ (page.title().getText(), "Update Failed");
    EXPECT_TRUE (page.description().isVisible());
    EXPECT_EQ (page.description().getText(), "Please try again.");
    EXPECT_TRUE (page.action().isVisible());
    EXPECT_EQ (page.action().getButtonText(), "Retry");
    EXPECT_FALSE (page.spinner().isVisible());

    page.view.showBusy ("Checking the USB driver ...");

    EXPECT_TRUE (page.title().isVisible());
    EXPECT_EQ (page.title().getText(), "Checking the USB driver ...");
    EXPECT_FALSE (page.description().isVisible());
    EXPECT_EQ (page.description().getText(), "Please try again.");
    EXPECT_FALSE (page.action().isVisible());
    EXPECT_EQ (page.action().getButtonText(), "Retry");
    EXPECT_TRUE (page.spinner().isVisible());
    EXPECT_TRUE (page.spinner().isTimerRunning());

    page.view.showStep ("Update Complete", "Ready to rock!", "Quit");

    EXPECT_TRUE (page.description().isVisible());
    EXPECT_EQ (page.description().getText(), "Ready to rock!");
    EXPECT_TRUE (page.action().isVisible());
    EXPECT_EQ (page.action().getButtonText(), "Quit");
    EXPECT_TRUE (page.action().isEnabled());
    EXPECT_FALSE (page.spinner().isVisible());
    EXPECT_FALSE (page.spinner().isTimerRunning());

    // The help link stays through every look.
    EXPECT_TRUE (page.helpIcon().isVisible());
    EXPECT_TRUE (page.link().isVisible());
}

TEST (PreparationViewModes, EachClickOnTheActionButtonCallsTheActionOnce)
{
    Page page;
    page.view.showStep ("Update MCU", "Hold down the pair button.", "Next");

    page.action().triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return page.clicks == 1; }));
    page.action().triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return page.clicks == 2; }));
    testsupport::pumpFor (50);
    EXPECT_EQ (page.clicks, 2);
}

TEST (PreparationViewModes, TheLinkCoversTheHelpIconSoItTakesItsClicks)
{
    Page page;
    page.view.setSize (295, 331);
    page.view.setVisible (true);

    EXPECT_TRUE (page.link().getBounds().contains (page.helpIcon().getBounds()));
    EXPECT_EQ (page.view.getComponentAt (page.helpIcon().getBounds().getCentre()), &page.link());
    EXPECT_TRUE (page.link().onClick != nullptr);
}
