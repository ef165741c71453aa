#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// One line of device information: a small name above its value, with a faint
// separator underneath. It only displays; neither label is editable.
class DeviceInfoEditView : public juce::Component
{
public:
    explicit DeviceInfoEditView (const juce::String& name);

    void setValue (const juce::String& text);
    void setNameText (const juce::String& text);

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void initLabels();

    std::unique_ptr<juce::Label> nameLabel;
    std::unique_ptr<juce::Label> valueLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceInfoEditView)
};
