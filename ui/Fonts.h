#pragma once

#include <juce_graphics/juce_graphics.h>

// The four Roboto fonts of the pages, each with a typeface of its own made
// from the TrueType data embedded in the executable, so no installed Roboto
// is needed. They are made during static initialisation, before any view
// exists; views copy them, and copies share the typeface.
extern const juce::Font robotoBold18;    // page titles
extern const juce::Font robotoRegular16; // info-row values, the toast
extern const juce::Font robotoMedium14;  // the text of the program's text buttons
extern const juce::Font robotoBold14;    // info-row names
