#include "support/PageLook.h"

#include "resources/BinaryData.h"
#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/Fonts.h"
#include "ui/UrlButtonLookAndFeel.h"

#include <array>
#include <map>
#include <tuple>
#include <vector>

namespace testsupport
{
    namespace
    {
        // Where the window puts things at 375 by 667: the picture slot, the
        // page slot, the toast, and inside the page the rows and the title,
        // which sit at fixed heights whatever the layout did before. The
        // rest of a page moves with the heights that its last layouts left,
        // so each text below the title is found between the things around
        // it and compared where its ink lies.
        const juce::Rectangle<int> pictureSlot (40, 50, 295, 264);
        const juce::Rectangle<int> pageSlot (40, 336, 295, 331);
        const juce::Rectangle<int> toastArea (40, 40, 295, 80);
        const juce::Rectangle<int> titleArea (40, 336, 295, 40);
        const juce::Rectangle<int> deviceNameArea (40, 336, 295, 20);
        const juce::Rectangle<int> deviceValueArea (40, 336 + 25, 295, 25);
        const juce::Rectangle<int> versionNameArea (40, 336 + 70, 295, 20);
        const juce::Rectangle<int> versionValueArea (40, 336 + 70 + 25, 295, 25);
        const int rowsBottom = 336 + 2 * 70;

        // The help link lies 5 pixels right of the page, its icon 50 pixels
        // left of the page's centre line; its text starts right of the icon.
        const int linkLeft = 40 + 5;
        const int linkTextLeft = 40 + 295 / 2 - 50 + 25 + 1;
        const int linkRight = linkLeft + 295;

        // The ring turns about the page's centre line.
        const int ringLeft = 40 + 110;
        const int ringRight = 40 + 185;

        const juce::Colour toastPanel (0xff454545);

        // The action red, also as the framework darkens it under the pointer
        // and while pressed, and the busy ring's red. No grey of the pages
        // and no anti-aliased grey edge passes.
        bool isRed (juce::Colour c)
        {
            return c.getRed() >= 110 && c.getRed() >= 2 * c.getGreen() + 30 && c.getRed() >= 2 * c.getBlue() + 30;
        }

        // The disabled button's panel: white at a tenth over the page's
        // darkest grey.
        bool isDimmedPanel (juce::Colour c)
        {
            return std::abs (c.getRed() - c.getGreen()) <= 3 && std::abs (c.getGreen() - c.getBlue()) <= 3
                   && c.getGreen() >= 38 && c.getGreen() <= 56;
        }

        bool isToastPanel (juce::Colour c)
        {
            return std::abs (c.getRed() - toastPanel.getRed()) <= 6 && std::abs (c.getGreen() - toastPanel.getGreen()) <= 6
                   && std::abs (c.getBlue() - toastPanel.getBlue()) <= 6;
        }

        // Which pixels of an area are text: the brighter half between the
        // area's darkest and brightest green, which on these pages is the
        // background and the text colour. An area without contrast holds no
        // text; the disabled button's faint text needs a lower bar, on its
        // flat panel. The same rule on a drawn reference and on the screen
        // lets an edge pixel fall the same way on both.
        struct Mask
        {
            int width = 0, height = 0;
            std::vector<char> bits;
            int count = 0;

            bool at (int x, int y) const
            {
                return x >= 0 && y >= 0 && x < width && y < height && bits[(size_t) (y * width + x)] != 0;
            }

            // The part that holds ink; empty without any.
            Mask cropped() const
            {
                int left = width, top = height, right = -1, bottom = -1;

                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        if (at (x, y))
                        {
                            left = juce::jmin (left, x);
                            right = juce::jmax (right, x);
                            top = juce::jmin (top, y);
                            bottom = juce::jmax (bottom, y);
                        }

                Mask part;

                if (right < 0)
                    return part;

                part.width = right - left + 1;
                part.height = bottom - top + 1;
                part.count = count;
                part.bits.assign ((size_t) (part.width * part.height), 0);

                for (int y = 0; y < part.height; ++y)
                    for (int x = 0; x < part.width; ++x)
                        part.bits[(size_t) (y * part.width + x)] = at (left + x, top + y) ? 1 : 0;

                return part;
            }
        };

        Mask inkOf (const juce::Image& image, juce::Rectangle<int> area, int minimumContrast = 60)
        {
            Mask mask;
            area = area.getIntersection (image.getBounds());
            mask.width = area.getWidth();
            mask.height = area.getHeight();
            mask.bits.assign ((size_t) (mask.width * mask.height), 0);

            if (area.isEmpty())
                return mask;

            int darkest = 255, brightest = 0;
            for (int y = area.getY(); y < area.getBottom(); ++y)
                for (int x = area.getX(); x < area.getRight(); ++x)
                {
                    const int g = image.getPixelAt (x, y).getGreen();
                    darkest = juce::jmin (darkest, g);
                    brightest = juce::jmax (brightest, g);
                }

            if (brightest - darkest < minimumContrast)
                return mask;

            const int threshold = (darkest + brightest + 1) / 2;
            for (int y = 0; y < mask.height; ++y)
                for (int x = 0; x < mask.width; ++x)
                    if (image.getPixelAt (area.getX() + x, area.getY() + y).getGreen() >= threshold)
                    {
                        mask.bits[(size_t) (y * mask.width + x)] = 1;
                        ++mask.count;
                    }

            return mask;
        }

        // A component painted on its own, over an opaque background, as the
        // reference of what it shows.
        juce::Image paintedOver (juce::Component& component, juce::Colour background)
        {
            juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
            juce::Graphics g (image);
            g.fillAll (background);
            component.paintEntireComponent (g, true);
            return image;
        }

        // A label of the pages' kind with the text, in its colour over the
        // page's background there; `lookAt` is the part of it compared.
        struct LabelStyle
        {
            juce::Font font;
            juce::Justification justification;
            juce::Colour text, background;
        };

        Mask labelInk (const juce::String& text, const LabelStyle& style, juce::Rectangle<int> size,
                       juce::Rectangle<int> lookAt)
        {
            juce::Label label;
            label.setFont (style.font);
            label.setJustificationType (style.justification);
            label.setColour (juce::Label::textColourId, style.text);
            label.setText (text, juce::dontSendNotification);
            label.setSize (size.getWidth(), size.getHeight());
            return inkOf (paintedOver (label, style.background), lookAt);
        }

        Mask labelInk (const juce::String& text, const LabelStyle& style, juce::Rectangle<int> size)
        {
            return labelInk (text, style, size, size.withZeroOrigin());
        }

        LabelStyle titleStyle() { return { robotoBold18, juce::Justification::centred, juce::Colour (0xffe6e6e6), juce::Colour (0xff1e1e1e) }; }
        LabelStyle rowNameStyle() { return { robotoBold14, juce::Justification::centredLeft, juce::Colour (0xff737373), juce::Colour (0xff1e1e1e) }; }
        LabelStyle valueStyle() { return { robotoRegular16, juce::Justification::centredLeft, juce::Colour (0xffd2d2d2), juce::Colour (0xff171717) }; }
        LabelStyle toastStyle() { return { robotoRegular16, juce::Justification::centred, juce::Colour (0xfff0f0f0), toastPanel }; }

        // The description and the updating message keep the framework's
        // default label font; drawn higher than any of their texts needs, so
        // that the label's height leaves their lines as the page breaks them.
        LabelStyle descriptionStyle() { return { juce::Font (15.0f), juce::Justification::centred, juce::Colour (0xffd2d2d2), juce::Colour (0xff171717) }; }
        LabelStyle messageStyle() { return { juce::Font (15.0f), juce::Justification::centred, juce::Colour (0xff787878), juce::Colour (0xff171717) }; }
        const juce::Rectangle<int> bodySize (0, 0, 295, 200);

        // The toast's panel without its rounded corners, where the picture
        // below may show.
        const juce::Rectangle<int> toastInside = toastArea.reduced (10);

        int countPanel (const juce::Image& content)
        {
            int count = 0;
            for (int y = toastInside.getY(); y < toastInside.getBottom(); ++y)
                for (int x = toastInside.getX(); x < toastInside.getRight(); ++x)
                    count += isToastPanel (content.getPixelAt (x, y)) ? 1 : 0;
            return count;
        }

        // The action button as the page draws it, enabled or not, over the
        // colour that lies around it.
        juce::Image paintedButton (const juce::String& text, juce::Rectangle<int> size, bool enabled,
                                   juce::Colour background)
        {
            lookandfeel::ConnectButtonLookAndFeel lookAndFeel;
            juce::TextButton button;
            button.setButtonText (text);
            button.setColour (juce::TextButton::textColourOnId, juce::Colours::white);
            button.setColour (juce::TextButton::textColourOffId, juce::Colours::white);
            button.setColour (juce::TextButton::buttonColourId, juce::Colour (0xffe02020));
            button.setLookAndFeel (&lookAndFeel);
            button.setEnabled (enabled);
            button.setSize (size.getWidth(), size.getHeight());
            const auto image = paintedOver (button, background);
            button.setLookAndFeel (nullptr);
            return image;
        }

        Mask buttonInk (const juce::String& text, juce::Rectangle<int> size)
        {
            const auto image = paintedButton (text, size, true, juce::Colour (0xff202020));
            return inkOf (image, image.getBounds());
        }

        // The faint text on a disabled button, inside its straight part.
        constexpr int dimmedContrast = 15;

        juce::Rectangle<int> insideDimmed (juce::Rectangle<int> band)
        {
            return band.reduced (band.getHeight() / 2, 2);
        }

        Mask dimmedButtonInk (const juce::String& text, juce::Rectangle<int> size)
        {
            const auto image = paintedButton (text, size, false, juce::Colour (0xff171717));
            return inkOf (image, insideDimmed (image.getBounds()), dimmedContrast);
        }

        // The help link as the page draws it, from its left end to its right.
        Mask linkInk (int height)
        {
            lookandfeel::UrlButtonLookAndFeel lookAndFeel;
            juce::TextButton link;
            link.setButtonText ("Help Center");
            link.setColour (juce::TextButton::textColourOffId, juce::Colour (0xff828282));
            link.setColour (juce::TextButton::buttonColourId, juce::Colour (0x00000000));
            link.setLookAndFeel (&lookAndFeel);
            link.setSize (295, height);
            const auto image = paintedOver (link, juce::Colour (0xff171717));
            link.setLookAndFeel (nullptr);
            return inkOf (image, { linkTextLeft - linkLeft, 0, linkRight - linkTextLeft, height });
        }

        // How many pixels differ between the two, at the best of a few small
        // shifts: a button found a pixel higher or lower draws its text half
        // a pixel away.
        int mismatch (const Mask& seen, const Mask& expected)
        {
            int best = seen.count + expected.count;

            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                {
                    int differing = 0;
                    for (int y = 0; y < seen.height; ++y)
                        for (int x = 0; x < seen.width; ++x)
                            if (seen.at (x, y) != expected.at (x - dx, y - dy))
                                ++differing;
                    best = juce::jmin (best, differing);
                }

            return best;
        }

        // The same over the ink alone, the two laid top left on top left and
        // compared over the larger of them, for a text whose place moves.
        int alignedMismatch (const Mask& seenInk, const Mask& expectedInk)
        {
            const auto seen = seenInk.cropped();
            const auto expected = expectedInk.cropped();
            const int width = juce::jmax (seen.width, expected.width);
            const int height = juce::jmax (seen.height, expected.height);
            int best = seen.count + expected.count;

            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                {
                    int differing = 0;
                    for (int y = juce::jmin (0, dy); y < height + juce::jmax (0, dy); ++y)
                        for (int x = juce::jmin (0, dx); x < width + juce::jmax (0, dx); ++x)
                            if (seen.at (x, y) != expected.at (x - dx, y - dy))
                                ++differing;
                    best = juce::jmin (best, differing);
                }

            return best;
        }

        // How a text is compared: where it must be, with a wide margin (the
        // title, the red button's text and the toast: a button found a pixel
        // off draws its text half a pixel away, and a toast may be caught in
        // its fade); or closely, where it must be or wherever in its area its
        // ink lies. A text drawn as its reference is differs there by a few
        // edge pixels at most, so a changed letter shows.
        enum class Compare
        {
            inPlaceLoosely,
            inPlace,
            whereItLies
        };

        // Empty when the area shows the text (or, for an empty text, none).
        juce::String textDifference (const juce::String& what, const Mask& seen, const Mask& expected,
                                     const juce::String& text, Compare how = Compare::inPlaceLoosely)
        {
            if (expected.count == 0)
                return seen.count <= 3 ? juce::String() : what + ": shows a text where none should be";

            if (seen.count == 0)
                return what + ": shows no text, expected \"" + text + "\"";

            const auto differing = how == Compare::whereItLies ? alignedMismatch (seen, expected) : mismatch (seen, expected);
            const auto most = juce::jmax (seen.count, expected.count);
            const auto allowed = how == Compare::inPlaceLoosely ? juce::jmax (8, most * 15 / 100) : juce::jmax (6, most / 100);

            if (differing <= allowed)
                return {};

            return what + ": does not read \"" + text + "\" (" + juce::String (differing) + " of "
                   + juce::String (expected.count) + " text pixels differ)";
        }

        const std::array<std::pair<const char*, int>, 5> stepPictureData()
        {
            return { { { BinaryData::kelvane_normal_png, BinaryData::kelvane_normal_pngSize },
                       { BinaryData::kelvane_repair_png, BinaryData::kelvane_repair_pngSize },
                       { BinaryData::kelvane_ok_png, BinaryData::kelvane_ok_pngSize },
                       { BinaryData::kelvane_warning_png, BinaryData::kelvane_warning_pngSize },
                       { BinaryData::kelvane_connect_png, BinaryData::kelvane_connect_pngSize } } };
        }

        // Each embedded picture as the window's picture slot shows it:
        // fitted and centred by the framework's image component.
        const juce::Image& slotPicture (int key)
        {
            static std::map<int, juce::Image> drawn;
            auto& image = drawn[key];

            if (image.isNull())
            {
                const auto [data, size] = stepPictureData()[(size_t) key];
                juce::ImageComponent component;
                component.setImage (juce::ImageFileFormat::loadFrom (data, (size_t) size));
                component.setSize (pictureSlot.getWidth(), pictureSlot.getHeight());
                image = juce::Image (juce::Image::ARGB, pictureSlot.getWidth(), pictureSlot.getHeight(), true);
                juce::Graphics g (image);
                component.paintEntireComponent (g, true);
            }

            return image;
        }

        // The longest run of rows of the page slot with at least `least`
        // pixels that `matches` takes.
        template <typename Matches>
        juce::Range<int> longestRunOfRows (const juce::Image& content, int least, Matches matches)
        {
            juce::Range<int> best, current;

            for (int y = pageSlot.getY(); y < pageSlot.getBottom(); ++y)
            {
                int count = 0;
                for (int x = pageSlot.getX(); x < pageSlot.getRight(); ++x)
                    count += matches (content.getPixelAt (x, y)) ? 1 : 0;

                if (count >= least)
                    current = current.isEmpty() ? juce::Range<int> (y, y + 1) : current.withEnd (y + 1);
                else
                    current = {};

                if (current.getLength() > best.getLength())
                    best = current;
            }

            return best;
        }

        // Rows of the page slot that are mostly red: the action button.
        juce::Range<int> buttonRows (const juce::Image& content)
        {
            return longestRunOfRows (content, 120, [] (juce::Colour c) { return isRed (c); });
        }

        // Rows of the page slot that are mostly the disabled button's panel.
        juce::Range<int> dimmedRows (const juce::Image& content)
        {
            const auto best = longestRunOfRows (content, 150, [] (juce::Colour c) { return isDimmedPanel (c); });
            return best.getLength() >= 20 ? best : juce::Range<int>();
        }

        // The rows between the first and the last with any of the ring's red.
        juce::Range<int> ringRows (const juce::Image& content, juce::Range<int> button)
        {
            juce::Range<int> rows;

            for (int y = pageSlot.getY(); y < pageSlot.getBottom(); ++y)
            {
                if (! button.isEmpty() && y >= button.getStart() - 2 && y < button.getEnd() + 2)
                    continue;

                for (int x = ringLeft; x < ringRight; ++x)
                    if (isRed (content.getPixelAt (x, y)))
                    {
                        rows = rows.isEmpty() ? juce::Range<int> (y, y + 1) : rows.withEnd (y + 1);
                        break;
                    }
            }

            return rows;
        }

        int ringPixels (const juce::Image& content, juce::Range<int> button)
        {
            int count = 0;

            for (int y = pageSlot.getY(); y < pageSlot.getBottom(); ++y)
            {
                if (! button.isEmpty() && y >= button.getStart() - 2 && y < button.getEnd() + 2)
                    continue;

                for (int x = ringLeft; x < ringRight; ++x)
                    count += isRed (content.getPixelAt (x, y)) ? 1 : 0;
            }

            return count;
        }
    }

    PageLook PageLook::step (int picture, const juce::String& title, const juce::String& description,
                             const juce::String& button)
    {
        PageLook look;
        look.name = "step page \"" + title + "\"";
        look.picture = picture;
        look.title = title;
        look.body = description;
        look.button = button;
        look.helpLink = true;
        return look;
    }

    PageLook PageLook::busy (int picture, const juce::String& title)
    {
        PageLook look;
        look.name = "busy page \"" + title + "\"";
        look.picture = picture;
        look.title = title;
        look.body = juce::String();
        look.ring = true;
        look.helpLink = true;
        return look;
    }

    PageLook PageLook::deviceInfo (const juce::String& version, const juce::String& button)
    {
        PageLook look;
        look.name = "version page \"" + version + "\"";
        look.picture = 0;
        look.body = juce::String();
        look.button = button;
        look.version = version;
        return look;
    }

    PageLook PageLook::updating (const juce::String& title, const juce::String& message)
    {
        PageLook look;
        look.name = "updating page \"" + title + "\"";
        look.picture = 0;
        look.title = title;
        look.body = message;
        look.dimmedButton = juce::String ("Updating");
        look.ring = true;
        return look;
    }

    PageLook PageLook::withToast (const juce::String& text) const
    {
        auto look = *this;
        look.toast = text;
        look.name += " with the toast \"" + text + "\"";
        return look;
    }

    PageLook PageLook::withoutToast() const
    {
        auto look = *this;
        look.toast = juce::String();
        return look;
    }

    PictureMatch closestStepPicture (const juce::Image& content)
    {
        PictureMatch best;

        for (int key = 0; key < 5; ++key)
        {
            const auto& reference = slotPicture (key);
            double sum = 0.0;
            int counted = 0;

            // Below the toast, where nothing but the picture is drawn.
            for (int y = toastArea.getBottom() + 1 - pictureSlot.getY(); y < pictureSlot.getHeight(); ++y)
                for (int x = 0; x < pictureSlot.getWidth(); ++x)
                {
                    const auto want = reference.getPixelAt (x, y);

                    if (want.getAlpha() != 255)
                        continue;

                    const auto seen = content.getPixelAt (pictureSlot.getX() + x, pictureSlot.getY() + y);
                    sum += std::abs (seen.getRed() - want.getRed()) + std::abs (seen.getGreen() - want.getGreen())
                           + std::abs (seen.getBlue() - want.getBlue());
                    ++counted;
                }

            const auto distance = counted == 0 ? 255.0 : sum / (3.0 * counted);

            if (distance < best.distance)
                best = { key, distance };
        }

        return best;
    }

    juce::Rectangle<int> findActionButton (const juce::Image& content)
    {
        const auto rows = buttonRows (content);

        if (rows.getLength() < 20)
            return {};

        return { pageSlot.getX(), rows.getStart(), pageSlot.getWidth(), rows.getLength() };
    }

    juce::StringArray differencesFrom (const juce::Image& content, const PageLook& look)
    {
        juce::StringArray differences;

        if (content.getWidth() != contentWidth || content.getHeight() != contentHeight)
        {
            differences.add ("the content is " + juce::String (content.getWidth()) + " by "
                             + juce::String (content.getHeight()) + ", not 375 by 667");
            return differences;
        }

        if (look.picture >= 0)
        {
            const auto match = closestStepPicture (content);

            if (match.key != look.picture || match.distance > 12.0)
                differences.add ("picture: looks most like step picture " + juce::String (match.key) + " (off by "
                                 + juce::String (match.distance, 1) + "), expected step picture "
                                 + juce::String (look.picture));
        }

        if (look.title.has_value())
        {
            const auto problem = textDifference (
                "title", inkOf (content, titleArea),
                labelInk (*look.title, titleStyle(), titleArea), *look.title);

            if (problem.isNotEmpty())
                differences.add (problem);
        }

        const auto rows = buttonRows (content);
        const auto button = findActionButton (content);

        if (look.button.has_value())
        {
            if (button.isEmpty())
                differences.add ("button: no red action button, expected \"" + *look.button + "\"");
            else
            {
                const auto problem = textDifference ("button", inkOf (content, button),
                                                     buttonInk (*look.button, button), *look.button);

                if (problem.isNotEmpty())
                    differences.add (problem);
            }
        }
        else if (! button.isEmpty())
        {
            differences.add ("button: a red action button shows where none should be");
        }

        const auto ring = ringPixels (content, rows);

        if (look.ring && ring < 60)
            differences.add ("ring: no busy ring (" + juce::String (ring) + " red pixels)");
        else if (! look.ring && ring > 5)
            differences.add ("ring: a busy ring shows (" + juce::String (ring) + " red pixels)");

        if (look.version.has_value())
        {
            for (const auto& [area, text, what, style, how] :
                 { std::make_tuple (deviceNameArea, juce::String ("Device"), juce::String ("first row's name"),
                                    rowNameStyle(), Compare::inPlace),
                   std::make_tuple (deviceValueArea, juce::String ("Kelvane"), juce::String ("\"Device\" row"),
                                    valueStyle(), Compare::inPlaceLoosely),
                   std::make_tuple (versionNameArea, juce::String ("Version to install"),
                                    juce::String ("second row's name"), rowNameStyle(), Compare::inPlace),
                   std::make_tuple (versionValueArea, *look.version, juce::String ("\"Version to install\" row"),
                                    valueStyle(), Compare::inPlaceLoosely) })
            {
                const auto problem =
                    textDifference (what, inkOf (content, area), labelInk (text, style, area), text, how);

                if (problem.isNotEmpty())
                    differences.add (problem);
            }
        }

        const auto ringAt = ringRows (content, rows);
        const auto dimmed = dimmedRows (content);
        const juce::Rectangle<int> dimmedBand (pageSlot.getX(), dimmed.getStart(), pageSlot.getWidth(),
                                               dimmed.getLength());

        if (look.dimmedButton.has_value())
        {
            if (dimmed.isEmpty())
            {
                differences.add ("dimmed button: no disabled button, expected \"" + *look.dimmedButton + "\"");
            }
            else
            {
                const auto problem = textDifference ("dimmed button",
                                                     inkOf (content, insideDimmed (dimmedBand), dimmedContrast),
                                                     dimmedButtonInk (*look.dimmedButton, dimmedBand),
                                                     *look.dimmedButton, Compare::inPlace);

                if (problem.isNotEmpty())
                    differences.add (problem);
            }
        }
        else if (! dimmed.isEmpty())
        {
            differences.add ("dimmed button: a disabled button shows where none should be");
        }

        // What lies lowest of the button, the disabled one and the ring; the
        // help link, or nothing, is below it.
        const auto lowest = juce::jmax (rows.getEnd(), dimmed.getEnd(), ringAt.getEnd());

        if (look.body.has_value())
        {
            // Under the title, or under the rows, down to the button or the
            // ring; the updating message lies between the ring and the
            // disabled button.
            auto top = (look.version.has_value() ? rowsBottom : titleArea.getBottom()) + 1;
            auto bottom = pageSlot.getBottom() - 80;

            if (look.dimmedButton.has_value())
            {
                top = ringAt.isEmpty() ? top : ringAt.getEnd() + 2;
                bottom = dimmed.isEmpty() ? bottom : dimmed.getStart() - 2;
            }
            else if (! rows.isEmpty())
            {
                bottom = rows.getStart() - 3;
            }
            else if (! ringAt.isEmpty())
            {
                bottom = ringAt.getStart() - 2;
            }

            const juce::Rectangle<int> area (pageSlot.getX(), top, pageSlot.getWidth(), bottom - top);
            const auto style = look.dimmedButton.has_value() ? messageStyle() : descriptionStyle();
            const auto what = look.dimmedButton.has_value() ? "message"
                              : look.version.has_value()    ? "under the rows"
                                                            : "description";
            const auto problem = textDifference (what,
                                                 inkOf (content, area), labelInk (*look.body, style, bodySize),
                                                 *look.body, Compare::whereItLies);

            if (problem.isNotEmpty())
                differences.add (problem);
        }

        {
            const auto top = (lowest > 0 ? lowest : pageSlot.getBottom() - 80) + 3;
            const auto problem =
                look.helpLink
                    ? textDifference ("help link", inkOf (content, { linkTextLeft, top, linkRight - linkTextLeft,
                                                                     pageSlot.getBottom() - top }),
                                      linkInk (60), "Help Center", Compare::whereItLies)
                    : textDifference ("below the button", inkOf (content, { pageSlot.getX(), top,
                                                                            pageSlot.getWidth(),
                                                                            pageSlot.getBottom() - top }),
                                      {}, {});

            if (problem.isNotEmpty())
                differences.add (problem);
        }

        if (look.toast.has_value())
        {
            const auto panel = countPanel (content);
            const auto area = toastInside.getWidth() * toastInside.getHeight();

            if (look.toast->isEmpty())
            {
                if (panel * 10 > area)
                    differences.add ("toast: a toast shows where none should be");
            }
            else if (panel * 2 < area)
            {
                differences.add ("toast: no toast up, expected \"" + *look.toast + "\"");
            }
            else
            {
                const auto problem = textDifference (
                    "toast", inkOf (content, toastInside),
                    labelInk (*look.toast, toastStyle(), toastArea, toastInside - toastArea.getPosition()),
                    *look.toast);

                if (problem.isNotEmpty())
                    differences.add (problem);
            }
        }

        return differences;
    }
}
