#pragma once

#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/Spinner.h"
#include "ui/UrlButtonLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

// The page of one step of the flow, in one of two looks: step mode (title,
// description and the action button) and busy mode (title and the turning
// busy indicator). The "Help Center" link with its icon shows in both. The
// page decides nothing: its button only calls the callback it was given.
class PreparationView : public juce::Component
{
public:
    explicit PreparationView (std::function<void()> onAction);
    ~PreparationView() override;

    void showStep (const juce::String& title, const juce::String& description, const juce::String& buttonText);

    // The hidden description and button keep their texts for the next step.
    void showBusy (const juce::String& title);

    void resized() override;

private:
    std::unique_ptr<juce::Label> titleLabel;
    std::unique_ptr<juce::Label> descriptionLabel;
    std::unique_ptr<juce::TextButton> actionButton;
    juce::DrawableImage helpIcon;
    std::unique_ptr<juce::DrawableButton> helpIconButton;
    std::unique_ptr<juce::TextButton> helpLinkButton;
    std::unique_ptr<Spinner> spinner;

    // Declared after the children, so destroyed before them: the destructor
    // takes them off the buttons first.
    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;
    lookandfeel::UrlButtonLookAndFeel linkLookAndFeel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreparationView)
};
