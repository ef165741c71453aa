#include "ui/DeviceInfoEditView.h"

#include "ui/Fonts.h"
#include "ui/Palette.h"

DeviceInfoEditView::DeviceInfoEditView (const juce::String& name)
{
    initLabels();
    nameLabel->setText (name, juce::dontSendNotification);
}

void DeviceInfoEditView::initLabels()
{
    nameLabel = std::make_unique<juce::Label>();
    nameLabel->setColour (juce::Label::textColourId, rowNameColour);
    nameLabel->setSize (nameLabel->getWidth(), 19);
    nameLabel->setFont (robotoBold14);
    addAndMakeVisible (*nameLabel);

    valueLabel = std::make_unique<juce::Label>();
    valueLabel->setColour (juce::Label::textColourId, bodyTextColour);
    valueLabel->setSize (valueLabel->getWidth(), 21);
    valueLabel->setFont (robotoRegular16);
    addAndMakeVisible (*valueLabel);
    valueLabel->setColour (juce::Label::textWhenEditingColourId, bodyTextColour);
}

void DeviceInfoEditView::setValue (const juce::String& text)
{
    valueLabel->setText (text, juce::dontSendNotification);
}

void DeviceInfoEditView::setNameText (const juce::String& text)
{
    nameLabel->setText (text, juce::dontSendNotification);
}

void DeviceInfoEditView::paint (juce::Graphics& g)
{
    // Placed from the value's bottom, not from the row's height: a row too
    // low for it simply does not show it.
    const juce::Graphics::ScopedSaveState savedState (g);
    g.setColour (separatorColour);
    g.fillRect (0, valueLabel->getBottom() + 5, getWidth(), 1);
}

void DeviceInfoEditView::resized()
{
    nameLabel->setBounds (0, 0, getWidth(), 20);
    valueLabel->setBounds (0, nameLabel->getBottom() + 5, getWidth(), 25);
}
