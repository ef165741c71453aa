// The button and progress-bar looks, read back from the pixels they draw.
#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"
#include "ui/ProgressBarLookAndFeel.h"
#include "ui/UrlButtonLookAndFeel.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using testsupport::pixelIs;
using testsupport::snapshotOf;

namespace
{
    // An action button as the pages make it.
    struct ActionButton
    {
        explicit ActionButton (int width = 295, int height = 40)
        {
            button.setButtonText ("Next");
            button.setColour (juce::TextButton::textColourOnId, juce::Colours::white);
            button.setColour (juce::TextButton::textColourOffId, juce::Colours::white);
            button.setColour (juce::TextButton::buttonColourId, actionColour);
            button.setLookAndFeel (&look);
            button.setSize (width, height);
        }

        ~ActionButton() { button.setLookAndFeel (nullptr); }

        lookandfeel::ConnectButtonLookAndFeel look;
        juce::TextButton button;
    };

    // The help link as the preparation page makes it.
    struct Link
    {
        explicit Link (int width, int height = 51)
        {
            button.setButtonText ("Help Center");
            button.setColour (juce::TextButton::textColourOffId, linkColour);
            button.setColour (juce::TextButton::buttonColourId, juce::Colour (0x00000000));
            button.setLookAndFeel (&look);
            button.setSize (width, height);
        }

        ~Link() { button.setLookAndFeel (nullptr); }

        lookandfeel::UrlButtonLookAndFeel look;
        juce::TextButton button;
    };

    juce::Image textOnly (lookandfeel::ConnectButtonLookAndFeel& look, juce::TextButton& button)
    {
        juce::Image image (juce::Image::ARGB, button.getWidth(), button.getHeight(), true);
        juce::Graphics g (image);
        look.drawButtonText (g, button, false, false);
        return image;
    }

    int maxAlpha (const juce::Image& image)
    {
        int most = 0;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                most = juce::jmax (most, (int) image.getPixelAt (x, y).getAlpha());
        return most;
    }
}

struct PillCase
{
    const char* name;
    juce::Button::ButtonState state;
    bool enabled;
    juce::uint32 fill;
};

class ActionButtonPill : public ::testing::TestWithParam<PillCase>
{
};

TEST_P (ActionButtonPill, FillsInTheColourOfItsState)
{
    const auto& pill = GetParam();
    ActionButton action;
    action.button.setEnabled (pill.enabled);
    action.button.setState (pill.state);

    const auto image = snapshotOf (action.button);

    // Inside the left cap and at the top edge's middle: the fill.
    EXPECT_TRUE (pixelIs (image, 20, 20, juce::Colour (pill.fill)));
    EXPECT_TRUE (pixelIs (image, 147, 0, juce::Colour (pill.fill)));
    // The caps are semicircles: the corners stay empty.
    EXPECT_TRUE (pixelIs (image, 0, 0, juce::Colour (0x00000000)));
    EXPECT_TRUE (pixelIs (image, 294, 39, juce::Colour (0x00000000)));
}

INSTANTIATE_TEST_SUITE_P (ActionButtonLook, ActionButtonPill,
                          ::testing::Values (PillCase { "rest", juce::Button::buttonNormal, true, 0xffe02020 },
                                             PillCase { "hovered", juce::Button::buttonOver, true, 0xffa01616 },
                                             PillCase { "pressed", juce::Button::buttonDown, true, 0xff720f0f },
                                             // Disabled wins over the mouse.
                                             PillCase { "disabled", juce::Button::buttonDown, false, 0x1affffff }),
                          [] (const auto& pill) { return std::string (pill.param.name); });

TEST (ActionButtonLook, TextIsWhiteAndFaintWhenDisabled)
{
    ActionButton action;
    const auto enabled = textOnly (action.look, action.button);
    EXPECT_GE (maxAlpha (enabled), 0xf0);

    action.button.setEnabled (false);
    const auto disabled = textOnly (action.look, action.button);
    EXPECT_EQ (maxAlpha (disabled), 0x26);

    for (const auto& image : { enabled, disabled })
        EXPECT_EQ (testsupport::countPixels (image, image.getBounds(),
                                             [] (juce::Colour c) {
                                                 return c.getAlpha() > 0x10
                                                        && (c.getRed() < 0xf0 || c.getGreen() < 0xf0 || c.getBlue() < 0xf0);
                                             }),
                   0);
}

TEST (ActionButtonLook, EveryButtonHeightGetsTheSameFont)
{
    ActionButton action (295, 60);
    lookandfeel::UrlButtonLookAndFeel link;

    for (auto* look : { static_cast<juce::LookAndFeel*> (&action.look), static_cast<juce::LookAndFeel*> (&link) })
        for (const auto height : { 20, 40, 60 })
        {
            const auto font = look->getTextButtonFont (action.button, height);
            EXPECT_FLOAT_EQ (font.getHeight(), 14.0f);
            EXPECT_EQ (font.getTypefacePtr(), robotoMedium14.getTypefacePtr());
        }
}

TEST (LinkLook, UnderlinesItsLastRowInsetByThirtyEight)
{
    Link link (295);
    const auto image = snapshotOf (link.button);
    const auto last = image.getHeight() - 1;

    const auto underline = testsupport::countPixels (image, { 0, last, 295, 1 }, [] (juce::Colour c) {
        return testsupport::sameColour (c, separatorColour);
    });
    EXPECT_EQ (underline, 219);
    EXPECT_TRUE (pixelIs (image, 37, last, juce::Colour (0x00000000)));
    EXPECT_TRUE (pixelIs (image, 38, last, separatorColour));
    EXPECT_TRUE (pixelIs (image, 256, last, separatorColour));
    EXPECT_TRUE (pixelIs (image, 257, last, juce::Colour (0x00000000)));

    // The transparent fill leaves the rest to the text, in the link's grey.
    EXPECT_EQ (testsupport::inkIn (image, { 0, last - 8, 295, 8 }), 0);
    EXPECT_GT (testsupport::countPixels (image, image.getBounds(),
                                         [] (juce::Colour c) { return testsupport::sameColour (c, linkColour, 2); }),
               0);
}

TEST (LinkLook, HasNoUnderlineWhenNarrow)
{
    for (const auto width : { 76, 60 })
    {
        Link link (width);
        const auto image = snapshotOf (link.button);
        EXPECT_EQ (testsupport::inkIn (image, { 0, image.getHeight() - 1, width, 1 }), 0) << width;
    }
}

TEST (LinkLook, LooksTheSameHoveredOrPressed)
{
    Link link (295);
    const auto atRest = snapshotOf (link.button);

    for (const auto state : { juce::Button::buttonOver, juce::Button::buttonDown })
    {
        link.button.setState (state);
        EXPECT_TRUE (testsupport::samePixels (snapshotOf (link.button), atRest));
    }
}

class ProgressBarLook : public ::testing::Test
{
protected:
    ProgressBarLook()
    {
        bar.setColour (juce::ProgressBar::backgroundColourId, background);
        bar.setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xffe0e0e0));
    }

    juce::Image drawnAt (double progress)
    {
        juce::Image image (juce::Image::ARGB, 200, 20, true);
        juce::Graphics g (image);
        look.drawProgressBar (g, bar, 200, 20, progress, "50%");
        return image;
    }

    int backgroundPixels (const juce::Image& image, juce::Rectangle<int> area)
    {
        return testsupport::countPixels (image, area, [this] (juce::Colour c) { return c == background; });
    }

    const juce::Colour background { 0xff204060 };
    double value = 0.0;
    juce::ProgressBar bar { value };
    lookandfeel::ProgressBarLookAndFeel look;
};

TEST_F (ProgressBarLook, HalfWayDrawsALozengeOverTheLeftHalf)
{
    const auto image = drawnAt (0.5);

    // The lozenge covers (1, 1, 99, 18); its half-pixel outline only tints
    // the pixels next to it, and right of it all is background.
    EXPECT_EQ (backgroundPixels (image, { 2, 2, 97, 16 }), 0);
    EXPECT_EQ (backgroundPixels (image, { 101, 0, 99, 20 }), 99 * 20);
}

TEST_F (ProgressBarLook, OutsideZeroToOneOnlyTheBackground)
{
    for (const auto progress : { 0.0, 1.0, 1.5, -1.0 })
        EXPECT_EQ (backgroundPixels (drawnAt (progress), { 0, 0, 200, 20 }), 200 * 20) << progress;
}
