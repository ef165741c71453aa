// The info row: name above value, and the separator placed from the value.
#include "ui/DeviceInfoEditView.h"
#include "ui/Palette.h"
#include "support/Children.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using testsupport::childAt;

TEST (InfoRow, LaysOutNameValueAndTheSeparatorAtFiftyFive)
{
    DeviceInfoEditView row ("Version to install");
    row.setBounds (0, 0, 295, 70);

    EXPECT_EQ (childAt<juce::Label> (row, 0).getBounds(), juce::Rectangle<int> (0, 0, 295, 20));
    EXPECT_EQ (childAt<juce::Label> (row, 1).getBounds(), juce::Rectangle<int> (0, 25, 295, 25));

    const auto image = testsupport::snapshotOf (row);
    EXPECT_EQ (testsupport::countPixels (image, { 0, 55, 295, 1 },
                                         [] (juce::Colour c) { return testsupport::sameColour (c, separatorColour); }),
               295);
    EXPECT_EQ (testsupport::inkIn (image, { 0, 50, 295, 5 }), 0);
    EXPECT_EQ (testsupport::inkIn (image, { 0, 56, 295, 14 }), 0);
}

TEST (InfoRow, ShowsItsNameAndAnEmptyValueUntilOneIsSet)
{
    DeviceInfoEditView row ("Device");
    EXPECT_EQ (childAt<juce::Label> (row, 0).getText(), "Device");
    EXPECT_EQ (childAt<juce::Label> (row, 1).getText(), "");

    row.setBounds (0, 0, 295, 70);
    const auto blank = testsupport::snapshotOf (row);

    row.setValue ("Kelvane");
    EXPECT_EQ (childAt<juce::Label> (row, 1).getText(), "Kelvane");
    const auto withValue = testsupport::snapshotOf (row);
    EXPECT_GT (testsupport::inkIn (withValue, { 0, 25, 295, 25 }), 0);

    // Blank again: the value line is empty, the separator where it was.
    row.setValue ("");
    EXPECT_TRUE (testsupport::samePixels (testsupport::snapshotOf (row), blank));
}

TEST (InfoRow, ASeparatorBelowALowRowIsNotSeen)
{
    DeviceInfoEditView row ("Device");
    row.setBounds (0, 0, 295, 55);
    const auto image = testsupport::snapshotOf (row);
    EXPECT_EQ (testsupport::inkIn (image, { 0, 20, 295, 35 }), 0);
}

TEST (InfoRow, NeitherLabelCanBeEdited)
{
    DeviceInfoEditView row ("Device");

    for (const auto index : { 0, 1 })
    {
        auto& label = childAt<juce::Label> (row, index);
        EXPECT_FALSE (label.isEditableOnSingleClick());
        EXPECT_FALSE (label.isEditableOnDoubleClick());
    }
}
