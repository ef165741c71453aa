#include "support/ScreenPixels.h"

#include <windows.h>

namespace testsupport
{
    juce::Image screenPixels (juce::Rectangle<int> area)
    {
        if (area.isEmpty())
            return {};

        juce::Image image;
        const auto screen = GetDC (nullptr);
        const auto memory = CreateCompatibleDC (screen);

        BITMAPINFO format {};
        format.bmiHeader.biSize = sizeof (format.bmiHeader);
        format.bmiHeader.biWidth = area.getWidth();
        format.bmiHeader.biHeight = -area.getHeight(); // top row first, as the image's
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        const auto bitmap = CreateDIBSection (memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);

        if (screen != nullptr && memory != nullptr && bitmap != nullptr)
        {
            const auto previous = SelectObject (memory, bitmap);

            if (BitBlt (memory, 0, 0, area.getWidth(), area.getHeight(), screen, area.getX(), area.getY(), SRCCOPY))
            {
                image = juce::Image (juce::Image::RGB, area.getWidth(), area.getHeight(), false);
                const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);
                const auto* row = static_cast<const juce::uint8*> (bits);

                // Blue, green, red and a spare byte, as the image stores them.
                for (int y = 0; y < area.getHeight(); ++y, row += 4 * area.getWidth())
                    for (int x = 0; x < area.getWidth(); ++x)
                        pixels.setPixelColour (x, y, juce::Colour (row[4 * x + 2], row[4 * x + 1], row[4 * x]));
            }

            SelectObject (memory, previous);
        }

        if (bitmap != nullptr)
            DeleteObject (bitmap);
        if (memory != nullptr)
            DeleteDC (memory);
        if (screen != nullptr)
            ReleaseDC (nullptr, screen);

        return image;
    }
}
