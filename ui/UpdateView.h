#pragma once

#include "ui/ConnectButtonLookAndFeel.h"
#include "ui/DeviceInfoEditView.h"
#include "ui/ProgressBarLookAndFeel.h"
#include "ui/Spinner.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <vector>

// The page around the firmware download, in two looks: device-info mode (the
// "Device" and "Version to install" rows and the enabled action button) and
// updating mode (title, message, the turning busy indicator and the disabled
// "Updating" button). The page decides nothing: its button only calls the
// callback it was given.
class UpdateView : public juce::Component
{
public:
    explicit UpdateView (std::function<void()> onAction);
    ~UpdateView() override;

    void showUpdating (const juce::String& title, const juce::String& message);
    void showDeviceInfo (const juce::String& version, const juce::String& buttonText);

    void resized() override;

private:
    // Always exactly two: "Device" and "Version to install".
    std::vector<std::unique_ptr<DeviceInfoEditView>> rows;
    std::unique_ptr<juce::TextButton> actionButton;
    std::unique_ptr<juce::Label> titleLabel;
    std::unique_ptr<juce::Label> messageLabel;
    std::unique_ptr<Spinner> spinner;

    // Declared after the children, so destroyed before them: the destructor
    // takes the button's off first. The progress-bar look has no user.
    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;
    lookandfeel::ProgressBarLookAndFeel progressBarLookAndFeel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UpdateView)
};
