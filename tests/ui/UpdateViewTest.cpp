// The update page: its two layouts, its two looks, and its one action.
#include "ui/UpdateView.h"
#include "support/Children.h"
#include "support/MessageLoop.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using testsupport::childAt;
using Bounds = juce::Rectangle<int>;

namespace
{
    // The page's children by their place in the child order.
    struct Page
    {
        Page() : view ([this] { ++clicks; }) {}

        DeviceInfoEditView& row (int index) { return childAt<DeviceInfoEditView> (view, index); }
        juce::String rowValue (int index) { return childAt<juce::Label> (row (index), 1).getText(); }
        juce::Label& title() { return childAt<juce::Label> (view, 2); }
        juce::Label& message() { return childAt<juce::Label> (view, 3); }
        Spinner& spinner() { return childAt<Spinner> (view, 4); }
        juce::TextButton& action() { return childAt<juce::TextButton> (view, 5); }

        int clicks = 0;
        UpdateView view;
    };
}

TEST (UpdateViewLayout, FirstLayoutAtThePageSlotOfTheWindow)
{
    Page page;
    page.view.setSize (295, 331);

    EXPECT_EQ (page.row (0).getBounds(), Bounds (0, 0, 295, 70));
    EXPECT_EQ (page.row (1).getBounds(), Bounds (0, 70, 295, 70));
    EXPECT_EQ (page.action().getBounds(), Bounds (0, 247, 295, 43));
    EXPECT_EQ (page.title().getBounds(), Bounds (0, 0, 295, 40));
    EXPECT_EQ (page.spinner().getBounds(), Bounds (123, 71, 48, 48));
    EXPECT_EQ (page.message().getBounds(), Bounds (0, 150, 295, 97));
}

TEST (UpdateViewLayout, ASecondLayoutStartsFromTheButtonsLastHeight)
{
    Page page;
    page.view.setSize (295, 331);
    page.view.resized();

    EXPECT_EQ (page.action().getBounds(), Bounds (0, 246, 295, 45));
    EXPECT_EQ (page.message().getBottom(), 246);
}

TEST (UpdateViewLayout, ATallPageCapsTheButtonAndStretchesTheMessage)
{
    Page page;
    page.view.setSize (295, 500);

    EXPECT_EQ (page.action().getBounds(), Bounds (0, 301, 295, 60));
    EXPECT_EQ (page.message().getBounds(), Bounds (0, 174, 295, 127));
}

TEST (UpdateViewModes, StartsWithTheDeviceAndAnUnknownVersion)
{
    Page page;

    EXPECT_EQ (page.view.getNumChildComponents(), 6);
    EXPECT_EQ (childAt<juce::Label> (page.row (0), 0).getText(), "Device");
    EXPECT_EQ (page.rowValue (0), "Kelvane");
    EXPECT_EQ (childAt<juce::Label> (page.row (1), 0).getText(), "Version to install");
    EXPECT_EQ (page.rowValue (1), "(unknown)");
    EXPECT_TRUE (page.row (0).isVisible());
    EXPECT_TRUE (page.row (1).isVisible());
    EXPECT_FALSE (page.title().isVisible());
    EXPECT_TRUE (page.message().isVisible());
    EXPECT_FALSE (page.spinner().isVisible());
    EXPECT_TRUE (page.action().isEnabled());
    EXPECT_EQ (page.action().getButtonText(), "...");
}

TEST (UpdateViewModes, SwitchingLooksKeepsTheHiddenTexts)
{
    Page page;
    page.view.showDeviceInfo ("", "Update MCU");

    EXPECT_EQ (page.rowValue (1), "") << "an empty version shows as empty";
    EXPECT_TRUE (page.action().isEnabled());
    EXPECT_EQ (page.action().getButtonText(), "Update MCU");
    EXPECT_FALSE (page.title().isVisible());
    EXPECT_FALSE (page.message().isVisible());

    page.view.showUpdating ("Updating the MCU ...", "Please do not disconnect the USB cable.");

    EXPECT_FALSE (page.row (0).isVisible());
    EXPECT_FALSE (page.row (1).isVisible());
    EXPECT_TRUE (page.title().isVisible());
    EXPECT_EQ (page.title().getText(), "Updating the MCU ...");
    EXPECT_TRUE (page.message().isVisible());
    EXPECT_EQ (page.message().getText(), "Please do not disconnect the USB cable.");
    EXPECT_TRUE (page.spinner().isVisible());
    EXPECT_TRUE (page.spinner().isTimerRunning());
    EXPECT_TRUE (page.action().isVisible());
    EXPECT_FALSE (page.action().isEnabled());
    EXPECT_EQ (page.action().getButtonText(), "Updating");

    page.view.showDeviceInfo ("1.2.3, build 7", "Update MCU");

    EXPECT_TRUE (page.row (0).isVisible());
    EXPECT_TRUE (page.row (1).isVisible());
    EXPECT_EQ (page.rowValue (0), "Kelvane");
    EXPECT_EQ (page.rowValue (1), "1.2.3, build 7");
    EXPECT_FALSE (page.title().isVisible());
    EXPECT_EQ (page.title().getText(), "Updating the MCU ...");
    EXPECT_FALSE (page.message().isVisible());
    EXPECT_EQ (page.message().getText(), "Please do not disconnect the USB cable.");
    EXPECT_FALSE (page.spinner().isVisible());
    EXPECT_FALSE (page.spinner().isTimerRunning());
    EXPECT_TRUE (page.action().isEnabled());
    EXPECT_EQ (page.action().getButtonText(), "Update MCU");
}

TEST (UpdateViewModes, TheButtonActsOnlyWhileEnabled)
{
    Page page;
    page.view.setSize (295, 331);
    page.view.showDeviceInfo ("1.0", "Update MCU");
    page.action().triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return page.clicks == 1; }));

    page.view.showUpdating ("Updating the MCU ...", "");
    page.action().triggerClick();
    testsupport::pumpFor (100);
    EXPECT_EQ (page.clicks, 1);

    // And it looks it: the faint pill of a disabled button.
    const auto image = testsupport::snapshotOf (page.view);
    EXPECT_TRUE (testsupport::pixelIs (image, 20, page.action().getY() + 20, juce::Colour (0x1affffff)));
}
