#pragma once

#include <juce_graphics/juce_graphics.h>

// The colours the pages share, by role (#AARRGGBB). The action buttons' white
// text, the link's transparent fill and the window's background greys are
// drawn where they are used.
inline const juce::Colour titleColour        { 0xffe6e6e6 };
inline const juce::Colour bodyTextColour     { 0xffd2d2d2 };
inline const juce::Colour progressTextColour { 0xff787878 };
inline const juce::Colour rowNameColour      { 0xff737373 };
inline const juce::Colour linkColour         { 0xff828282 };

// Half-transparent, so the background shows through the info row's line and
// the help link's underline.
inline const juce::Colour separatorColour    { 0x80424242 };

// The same red as the busy ring and the check-mark badge.
inline const juce::Colour actionColour       { 0xffe02020 };

inline const juce::Colour toastColour        { 0xff454545 };
inline const juce::Colour toastTextColour    { 0xfff0f0f0 };
