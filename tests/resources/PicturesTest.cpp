// The embedded pictures, decoded the way the pages decode them.
#include <gtest/gtest.h>
#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "resources/BinaryData.h"

namespace
{
struct Picture
{
    const char* name;
    const char* data;
    int size;
    int width;
    int height;
    bool clearFrame; // nothing of it touches the edges
};

juce::Image decode (const Picture& p)
{
    return juce::ImageFileFormat::loadFrom (p.data, (size_t) p.size);
}

juce::Image decode (const char* data, int size)
{
    return juce::ImageFileFormat::loadFrom (data, (size_t) size);
}

std::string rgb (juce::Colour c)
{
    return c.toDisplayString (false).toStdString();
}

// Built on first use, after the embedded data's own initialisation.
std::vector<Picture> pictures()
{
    return {
        { "Normal", BinaryData::kelvane_normal_png, BinaryData::kelvane_normal_pngSize, 295, 295, true },
        { "Repair", BinaryData::kelvane_repair_png, BinaryData::kelvane_repair_pngSize, 293, 293, true },
        { "Ok", BinaryData::kelvane_ok_png, BinaryData::kelvane_ok_pngSize, 295, 295, true },
        { "Warning", BinaryData::kelvane_warning_png, BinaryData::kelvane_warning_pngSize, 295, 295, true },
        { "Connect", BinaryData::kelvane_connect_png, BinaryData::kelvane_connect_pngSize, 295, 295, true },
        { "LoadingLoopRim", BinaryData::loading_loop_rim_png, BinaryData::loading_loop_rim_pngSize, 49, 48, false },
        { "HelpIcon", BinaryData::help_icon_png, BinaryData::help_icon_pngSize, 19, 18, false },
    };
}

class EmbeddedPicture : public testing::TestWithParam<Picture>
{
};
} // namespace

// Each one sits on the window's dark gradient, so all that is not the
// drawing itself has to be see-through.
TEST_P (EmbeddedPicture, DecodesToItsSizeWithTransparentSurroundings)
{
    const auto& p = GetParam();
    const auto image = decode (p);

    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getWidth(), p.width);
    EXPECT_EQ (image.getHeight(), p.height);
    EXPECT_TRUE (image.hasAlphaChannel());

    const int w = p.width - 1, h = p.height - 1;
    for (auto [x, y] : { std::pair { 0, 0 }, { w, 0 }, { 0, h }, { w, h } })
        EXPECT_EQ ((int) image.getPixelAt (x, y).getAlpha(), 0) << "corner " << x << "," << y;

    if (p.clearFrame)
    {
        int covered = 0;
        for (int x = 0; x <= w; ++x)
            covered += (image.getPixelAt (x, 0).getAlpha() != 0) + (image.getPixelAt (x, h).getAlpha() != 0);
        for (int y = 0; y <= h; ++y)
            covered += (image.getPixelAt (0, y).getAlpha() != 0) + (image.getPixelAt (w, y).getAlpha() != 0);
        EXPECT_EQ (covered, 0) << "pixels on the edge that are not transparent";
    }

    // A picture of transparent pixels only would pass all of the above.
    int opaque = 0;
    for (int y = 0; y <= h; ++y)
        for (int x = 0; x <= w; ++x)
            opaque += image.getPixelAt (x, y).getAlpha() > 100;
    EXPECT_GT (opaque, p.width * p.height / 50);
}

INSTANTIATE_TEST_SUITE_P (EmbeddedPictures, EmbeddedPicture, testing::ValuesIn (pictures()),
                          [] (const testing::TestParamInfo<Picture>& p) { return std::string (p.param.name); });

// The check-mark badge shares the red of the action buttons; the warning
// badge is a brighter red of its own.
TEST (EmbeddedPictures, BadgesAreTheirReds)
{
    const auto ok = decode (BinaryData::kelvane_ok_png, BinaryData::kelvane_ok_pngSize);
    const auto warning = decode (BinaryData::kelvane_warning_png, BinaryData::kelvane_warning_pngSize);

    // Left of the mark inside each badge, at the lower right of the device.
    EXPECT_EQ (rgb (ok.getPixelAt (218, 219)), rgb (juce::Colour (0xffe02020)));
    EXPECT_EQ (rgb (warning.getPixelAt (218, 219)), rgb (juce::Colour (0xffff2424)));
    EXPECT_EQ ((int) ok.getPixelAt (218, 219).getAlpha(), 255);
    EXPECT_EQ ((int) warning.getPixelAt (218, 219).getAlpha(), 255);
}

namespace
{
// The spinner turns the ring about the picture's centre.
constexpr float ringCentreX = 24.5f, ringCentreY = 24.0f;

juce::Colour ringPixelAtAngle (const juce::Image& ring, float degreesClockwiseFromThree, float radius)
{
    const auto a = juce::degreesToRadians (degreesClockwiseFromThree);
    const auto x = ringCentreX + radius * std::cos (a);
    const auto y = ringCentreY + radius * std::sin (a);
    return ring.getPixelAt ((int) std::floor (x), (int) std::floor (y));
}
} // namespace

TEST (BusyRing, OpenBetweenTwelveAndThreeOClock)
{
    const auto ring = decode (BinaryData::loading_loop_rim_png, BinaryData::loading_loop_rim_pngSize);
    ASSERT_TRUE (ring.isValid());

    // Every pixel well inside the upper right quarter, allowing the edge
    // smoothing of the ring's two ends.
    int checked = 0;
    for (int y = 0; y < ring.getHeight(); ++y)
    {
        for (int x = 0; x < ring.getWidth(); ++x)
        {
            if ((float) x + 0.5f >= ringCentreX + 1.5f && (float) y + 0.5f <= ringCentreY - 1.5f)
            {
                ASSERT_EQ ((int) ring.getPixelAt (x, y).getAlpha(), 0) << "at " << x << "," << y;
                ++checked;
            }
        }
    }
    EXPECT_EQ (checked, 23 * 23) << "columns 26 to 48, rows 0 to 22";
}

TEST (BusyRing, SolidActionRedAlongTheRestOfTheRing)
{
    const auto ring = decode (BinaryData::loading_loop_rim_png, BinaryData::loading_loop_rim_pngSize);
    ASSERT_TRUE (ring.isValid());

    // From just past three o'clock round through six and nine to just before twelve.
    for (float angle = 10.0f; angle <= 260.0f; angle += 2.0f)
    {
        const auto c = ringPixelAtAngle (ring, angle, 22.0f);
        ASSERT_EQ ((int) c.getAlpha(), 255) << "at " << angle << " degrees";
        ASSERT_EQ (rgb (c), rgb (juce::Colour (0xffe02020))) << "at " << angle << " degrees";
    }

    // About 4 pixels thick: clear inside and outside the band.
    for (float angle = 10.0f; angle <= 260.0f; angle += 10.0f)
    {
        EXPECT_EQ ((int) ringPixelAtAngle (ring, angle, 17.5f).getAlpha(), 0) << "inside at " << angle;
    }
    EXPECT_EQ ((int) ring.getPixelAt ((int) ringCentreX, (int) ringCentreY).getAlpha(), 0);
}

TEST (BusyRing, FillsThePicture)
{
    const auto ring = decode (BinaryData::loading_loop_rim_png, BinaryData::loading_loop_rim_pngSize);
    ASSERT_TRUE (ring.isValid());

    // Six o'clock reaches the bottom row, nine and three o'clock the sides.
    EXPECT_GT (ring.getPixelAt (24, 47).getAlpha(), 200);
    EXPECT_GT (ring.getPixelAt (0, 24).getAlpha(), 64);
    EXPECT_GT (ring.getPixelAt (47, 27).getAlpha(), 200);
}

TEST (HelpIcon, HalfTransparentWhiteAtMost)
{
    const auto icon = decode (BinaryData::help_icon_png, BinaryData::help_icon_pngSize);
    ASSERT_TRUE (icon.isValid());

    int maxAlpha = 0;
    for (int y = 0; y < icon.getHeight(); ++y)
    {
        for (int x = 0; x < icon.getWidth(); ++x)
        {
            const auto c = icon.getPixelAt (x, y);
            maxAlpha = std::max (maxAlpha, (int) c.getAlpha());

            // Colour survives premultiplication only roughly at low alpha.
            if (c.getAlpha() >= 48)
            {
                EXPECT_GE (c.getRed(), 240) << "at " << x << "," << y;
                EXPECT_GE (c.getGreen(), 240) << "at " << x << "," << y;
                EXPECT_GE (c.getBlue(), 240) << "at " << x << "," << y;
            }
        }
    }

    EXPECT_LE (maxAlpha, 127);
    EXPECT_GE (maxAlpha, 100) << "faint enough to vanish on the dark window";
}
