// The icon group of the built program, read from the executable as the
// shell and the window class read it.
#include <gtest/gtest.h>
#include <juce_graphics/juce_graphics.h>

#include <windows.h>

#include <memory>
#include <set>

namespace
{
#pragma pack(push, 2)
// The layout of an RT_GROUP_ICON resource.
struct GroupHeader
{
    WORD reserved;
    WORD type;
    WORD count;
};

struct GroupEntry
{
    BYTE width; // 0 stands for 256
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct ModuleCloser
{
    void operator() (HMODULE m) const { FreeLibrary (m); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleCloser>;

Module loadProgram()
{
    const auto path = juce::File (KELVANE_UPDATER_EXE).getFullPathName();
    return Module (LoadLibraryExW (path.toWideCharPointer(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

juce::MemoryBlock resourceBytes (HMODULE module, LPCWSTR name, LPCWSTR type)
{
    const auto info = FindResourceW (module, name, type);
    if (info == nullptr)
        return {};
    const auto handle = LoadResource (module, info);
    const auto* bytes = handle != nullptr ? LockResource (handle) : nullptr;
    if (bytes == nullptr)
        return {};
    return { bytes, (size_t) SizeofResource (module, info) };
}

// One image of the group: a PNG (as for 256) or a DIB whose rows run bottom
// up with the AND mask after them.
juce::Image decodeIconImage (const juce::MemoryBlock& bytes, int size)
{
    if (bytes.getSize() >= 8 && memcmp (bytes.getData(), "\x89PNG", 4) == 0)
        return juce::ImageFileFormat::loadFrom (bytes.getData(), bytes.getSize());

    if (bytes.getSize() < sizeof (BITMAPINFOHEADER))
        return {};
    BITMAPINFOHEADER header;
    memcpy (&header, bytes.getData(), sizeof header);
    if (header.biBitCount != 32 || header.biWidth != size || header.biHeight != 2 * size)
        return {};
    if (bytes.getSize() < header.biSize + (size_t) (size * size * 4))
        return {};

    juce::Image image (juce::Image::ARGB, size, size, true);
    const auto* pixels = static_cast<const uint8_t*> (bytes.getData()) + header.biSize;
    for (int row = 0; row < size; ++row)
    {
        for (int x = 0; x < size; ++x)
        {
            const auto* p = pixels + (row * size + x) * 4;
            image.setPixelAt (x, size - 1 - row, juce::Colour (p[2], p[1], p[0], p[3]));
        }
    }
    return image;
}
} // namespace

TEST (ProgramIcon, GroupHoldsFourSizesOf32BitsWithAlpha)
{
    const auto program = loadProgram();
    ASSERT_NE (program, nullptr) << KELVANE_UPDATER_EXE;

    const auto group = resourceBytes (program.get(), L"IDI_MAIN_ICON", MAKEINTRESOURCEW (14) /* RT_GROUP_ICON */);
    ASSERT_GE (group.getSize(), sizeof (GroupHeader));
    GroupHeader header;
    memcpy (&header, group.getData(), sizeof header);
    ASSERT_EQ (header.type, 1);
    ASSERT_EQ (group.getSize(), sizeof (GroupHeader) + header.count * sizeof (GroupEntry));

    std::set<int> sizes;
    for (int i = 0; i < header.count; ++i)
    {
        GroupEntry entry;
        memcpy (&entry, static_cast<const char*> (group.getData()) + sizeof header + i * sizeof entry, sizeof entry);
        const int size = entry.width == 0 ? 256 : entry.width;
        sizes.insert (size);
        EXPECT_EQ (entry.height, entry.width);
        EXPECT_EQ (entry.bitCount, 32) << size;

        const auto image = decodeIconImage (resourceBytes (program.get(), MAKEINTRESOURCEW (entry.id),
                                                           MAKEINTRESOURCEW (3) /* RT_ICON */),
                                            size);
        ASSERT_TRUE (image.isValid()) << size;
        EXPECT_EQ (image.getWidth(), size);
        // A rounded square: see-through corners, a solid middle.
        EXPECT_LT (image.getPixelAt (0, 0).getAlpha(), 16) << size;
        EXPECT_EQ (image.getPixelAt (size / 2, size / 4).getAlpha(), 255) << size;
    }

    EXPECT_EQ (sizes, (std::set<int> { 16, 32, 48, 256 }));
}

// The shell and the framework's window class take the program's first icon.
TEST (ProgramIcon, LoadsAtEachSize)
{
    const auto program = loadProgram();
    ASSERT_NE (program, nullptr);

    for (int size : { 16, 32, 48, 256 })
    {
        const auto icon = static_cast<HICON> (LoadImageW (program.get(), L"IDI_MAIN_ICON", IMAGE_ICON, size, size, 0));
        ASSERT_NE (icon, nullptr) << size;

        ICONINFO info {};
        ASSERT_TRUE (GetIconInfo (icon, &info)) << size;
        BITMAP bitmap {};
        GetObjectW (info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ (bitmap.bmWidth, size);

        DeleteObject (info.hbmColor);
        DeleteObject (info.hbmMask);
        DestroyIcon (icon);
    }
}
