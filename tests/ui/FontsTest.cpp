// The shared fonts are Roboto made from the embedded data, at their heights,
// each with the weight of its own file.
#include "ui/Fonts.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

namespace
{
    const juce::String sample ("Update MCU Kelvane 1.0.0");

    juce::Image drawn (const juce::Font& font)
    {
        juce::Image image (juce::Image::ARGB, 400, 40, true);
        juce::Graphics g (image);
        g.setColour (juce::Colours::white);
        g.setFont (font);
        g.drawSingleLineText (sample, 4, 30);
        return image;
    }

    int inkOf (const juce::Font& font)
    {
        const auto image = drawn (font);
        return testsupport::inkIn (image, image.getBounds());
    }
}

TEST (Fonts, EachHasItsHeight)
{
    EXPECT_FLOAT_EQ (robotoBold18.getHeight(), 18.0f);
    EXPECT_FLOAT_EQ (robotoRegular16.getHeight(), 16.0f);
    EXPECT_FLOAT_EQ (robotoMedium14.getHeight(), 14.0f);
    EXPECT_FLOAT_EQ (robotoBold14.getHeight(), 14.0f);
}

TEST (Fonts, EachDrawsWithTheWeightOfItsOwnFile)
{
    // At one height, heavier faces lay down more ink: regular < medium < bold.
    const auto regular = inkOf (robotoRegular16.withHeight (14.0f));
    const auto medium = inkOf (robotoMedium14);
    const auto bold = inkOf (robotoBold14);

    EXPECT_GT (regular, 0);
    EXPECT_LT (regular, medium);
    EXPECT_LT (medium, bold);

    // The two bold fonts are the same face at two sizes.
    EXPECT_GT (inkOf (robotoBold18), bold);

    std::cout << "ink of \"" << sample << "\" at 14: regular " << regular << ", medium " << medium
              << ", bold " << bold << std::endl;
}

TEST (Fonts, AreNotTheFrameworksDefaultFace)
{
    const juce::Font standard (14.0f);
    const auto roboto = robotoRegular16.withHeight (14.0f);

    EXPECT_NE (roboto.getTypefacePtr()->getName(), standard.getTypefacePtr()->getName());
    EXPECT_FALSE (testsupport::samePixels (drawn (roboto), drawn (standard)));

    std::cout << "width of \"" << sample << "\": Roboto Regular 14 " << roboto.getStringWidthFloat (sample)
              << ", Roboto Medium 14 " << robotoMedium14.getStringWidthFloat (sample) << ", Roboto Bold 14 "
              << robotoBold14.getStringWidthFloat (sample) << ", default 14 ("
              << standard.getTypefacePtr()->getName() << ") " << standard.getStringWidthFloat (sample)
              << "; \"Help Center\" in Roboto Medium 14: " << robotoMedium14.getStringWidthFloat ("Help Center")
              << std::endl;
}
