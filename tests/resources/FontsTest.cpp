// The embedded Roboto faces, made into typefaces as the shared fonts make
// them: from the bytes alone, on a system that has no Roboto installed.
#include <gtest/gtest.h>
#include <juce_graphics/juce_graphics.h>

#include <vector>

#include "resources/BinaryData.h"

namespace
{
struct Face
{
    const char* name;
    const char* data;
    int size;
};

// Heaviest first. Built on first use, after the embedded data's own
// initialisation.
std::vector<Face> faces()
{
    return {
        { "Bold", BinaryData::RobotoBold_ttf, BinaryData::RobotoBold_ttfSize },
        { "Medium", BinaryData::RobotoMedium_ttf, BinaryData::RobotoMedium_ttfSize },
        { "Regular", BinaryData::RobotoRegular_ttf, BinaryData::RobotoRegular_ttfSize },
    };
}

juce::Typeface::Ptr typefaceOf (const Face& f)
{
    return juce::Typeface::createSystemTypefaceFor (f.data, (size_t) f.size);
}

class EmbeddedFace : public testing::TestWithParam<Face>
{
};
} // namespace

TEST_P (EmbeddedFace, MakesARobotoTypeface)
{
    const auto typeface = typefaceOf (GetParam());
    ASSERT_NE (typeface, nullptr);
    EXPECT_TRUE (typeface->getName().startsWith ("Roboto")) << typeface->getName();
}

INSTANTIATE_TEST_SUITE_P (EmbeddedFonts, EmbeddedFace, testing::ValuesIn (faces()),
                          [] (const testing::TestParamInfo<Face>& p) { return std::string (p.param.name); });

// A name is only what the file says: a face the system could not find under
// it would quietly be drawn in a fallback, the same for all three weights.
TEST (EmbeddedFonts, WeightsDrawDifferently)
{
    const juce::String text ("Hold down the pair button");
    juce::Array<float> widths;
    for (const auto& f : faces())
        widths.add (juce::Font (typefaceOf (f)).withHeight (100.0f).getStringWidthFloat (text));

    EXPECT_GT (widths[0], widths[1]) << "Bold wider than Medium";
    EXPECT_GT (widths[1], widths[2]) << "Medium wider than Regular";
    EXPECT_GT (widths[2], 0.0f);
}
