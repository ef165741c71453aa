#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <optional>

// Tells from a picture of the updater's window content (375 by 667, as the
// window opens) which page it shows, as a person looking at it would: the
// step picture, the title, the text under it, the red action button and its
// text, the busy ring, the info rows, the help link and the toast: every
// text that a person reads there. Each is told from what is on the screen
// alone, against the embedded pictures and texts drawn afresh in the pages'
// fonts, never from the program's own objects.
namespace testsupport
{
    struct PageLook
    {
        juce::String name;                    // for messages: "version page"
        int picture = -1;                     // the step picture's key; -1: not looked at
        std::optional<juce::String> title;    // the page's title; "" for none
        std::optional<juce::String> body;     // the text under the title: a step's description or the
                                              // updating message; "" for none
        std::optional<juce::String> button;   // the red action button's text; nullopt: no red button
        std::optional<juce::String> dimmedButton; // the text of a button shown disabled; nullopt: none
        bool ring = false;                    // the busy ring turns on the page
        std::optional<juce::String> version;  // the "Version to install" row; nullopt: no rows
        bool helpLink = false;                // "Help Center" at the bottom; false: no text there
        std::optional<juce::String> toast;    // nullopt: not looked at; "": no toast

        // The preparation page in step mode: picture, title, description,
        // button and the help link.
        static PageLook step (int picture, const juce::String& title, const juce::String& description,
                              const juce::String& button);
        // The preparation page in busy mode, under the picture shown before:
        // the title over the ring, and the help link.
        static PageLook busy (int picture, const juce::String& title);
        // The update page with its two rows and its button.
        static PageLook deviceInfo (const juce::String& version, const juce::String& button);
        // The update page while the download runs: title, ring, message and
        // the disabled "Updating" button.
        static PageLook updating (const juce::String& title, const juce::String& message);

        PageLook withToast (const juce::String& text) const;
        PageLook withoutToast() const;
    };

    // The content's size when the window opens, which the checks assume.
    constexpr int contentWidth = 375;
    constexpr int contentHeight = 667;

    // What differs between the picture and the look, one line per feature;
    // empty when the picture shows the look.
    juce::StringArray differencesFrom (const juce::Image& content, const PageLook& look);

    // The key of the step picture that the picture slot shows most like, and
    // how far it is from it (mean difference per colour channel, 0 to 255).
    struct PictureMatch
    {
        int key = -1;
        double distance = 255.0;
    };
    PictureMatch closestStepPicture (const juce::Image& content);

    // Where the red action button is in the page slot; empty when there is
    // none. A person clicks its centre.
    juce::Rectangle<int> findActionButton (const juce::Image& content);
}
