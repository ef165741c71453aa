#include "ui/Fonts.h"

#include "resources/BinaryData.h"

namespace
{
    juce::Font makeEmbeddedFont (const char* data, int size, float height)
    {
        juce::Font font (juce::Typeface::createSystemTypefaceFor (data, (size_t) size));
        font.setHeight (height);
        return font;
    }
}

const juce::Font robotoBold18    = makeEmbeddedFont (BinaryData::RobotoBold_ttf, BinaryData::RobotoBold_ttfSize, 18.0f);
const juce::Font robotoRegular16 = makeEmbeddedFont (BinaryData::RobotoRegular_ttf, BinaryData::RobotoRegular_ttfSize, 16.0f);
const juce::Font robotoMedium14  = makeEmbeddedFont (BinaryData::RobotoMedium_ttf, BinaryData::RobotoMedium_ttfSize, 14.0f);
const juce::Font robotoBold14    = makeEmbeddedFont (BinaryData::RobotoBold_ttf, BinaryData::RobotoBold_ttfSize, 14.0f);
