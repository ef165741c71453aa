#include "ui/UpdateView.h"

#include "ui/Fonts.h"
#include "ui/Palette.h"

#include <utility>

namespace
{
    constexpr int rowHeight = 70;
    constexpr int spinnerSize = 48;
    constexpr int versionRow = 1;
}

UpdateView::UpdateView (std::function<void()> onAction)
{
    const std::pair<const char*, const char*> rowTexts[] = { { "Device", "Kelvane" },
                                                             { "Version to install", "(unknown)" } };

    for (const auto& [name, value] : rowTexts)
    {
        rows.push_back (std::make_unique<DeviceInfoEditView> (name));
        rows.back()->setValue (value);
        addAndMakeVisible (*rows.back());
    }

    titleLabel = std::make_unique<juce::Label>();
    titleLabel->setFont (robotoBold18);
    titleLabel->setJustificationType (juce::Justification::centred);
    titleLabel->setColour (juce::Label::textColourId, titleColour);
    titleLabel->setSize (getWidth(), 40);
    addChildComponent (*titleLabel);

    // The message keeps the framework's default label font.
    messageLabel = std::make_unique<juce::Label>();
    messageLabel->setJustificationType (juce::Justification::centred);
    messageLabel->setColour (juce::Label::textColourId, progressTextColour);
    messageLabel->setSize (getWidth(), 40);
    addAndMakeVisible (*messageLabel);

    spinner = std::make_unique<Spinner>();
    spinner->setSize (getWidth(), getHeight());
    addChildComponent (*spinner);

    actionButton = std::make_unique<juce::TextButton>();
    actionButton->setButtonText ("...");
    actionButton->setColour (juce::TextButton::textColourOnId, juce::Colours::white);
    actionButton->setColour (juce::TextButton::textColourOffId, juce::Colours::white);
    actionButton->setColour (juce::TextButton::buttonColourId, actionColour);
    actionButton->setSize (getWidth(), 40);
    actionButton->setMouseCursor (juce::MouseCursor::PointingHandCursor);
    actionButton->setLookAndFeel (&buttonLookAndFeel);
    actionButton->onClick = std::move (onAction);
    addAndMakeVisible (*actionButton);
}

UpdateView::~UpdateView()
{
    actionButton->setLookAndFeel (nullptr);
}

void UpdateView::showUpdating (const juce::String& title, const juce::String& message)
{
    for (auto& row : rows)
        row->setVisible (false);

    titleLabel->setVisible (true);
    messageLabel->setVisible (true);
    spinner->setVisible (true);
    actionButton->setVisible (true);

    // A disabled button sends no clicks: no second download from this page.
    actionButton->setEnabled (false);

    titleLabel->setText (title, juce::dontSendNotification);
    messageLabel->setText (message, juce::dontSendNotification);
    actionButton->setButtonText ("Updating");
}

void UpdateView::showDeviceInfo (const juce::String& version, const juce::String& buttonText)
{
    for (auto& row : rows)
        row->setVisible (true);

    titleLabel->setVisible (false);
    messageLabel->setVisible (false);
    spinner->setVisible (false);

    actionButton->setVisible (true);
    actionButton->setEnabled (true);

    rows[versionRow]->setValue (version);
    actionButton->setButtonText (buttonText);
}

void UpdateView::resized()
{
    juce::StretchableLayoutManager layout;

    // The whole page: the rows, a gap, the button and a gap below it. The
    // button's preferred size is its height from the last layout.
    std::vector<juce::Component*> pageItems;

    for (auto& row : rows)
    {
        layout.setItemLayout ((int) pageItems.size(), rowHeight, rowHeight, rowHeight);
        pageItems.push_back (row.get());
    }

    const auto gapAbove = (int) pageItems.size();
    layout.setItemLayout (gapAbove, 0, -0.5, 100);
    layout.setItemLayout (gapAbove + 1, 32, 60, actionButton->getHeight());
    layout.setItemLayout (gapAbove + 2, 0, -0.2, 30);
    pageItems.insert (pageItems.end(), { nullptr, actionButton.get(), nullptr });

    layout.layOutComponents (pageItems.data(), (int) pageItems.size(), 0, 0, getWidth(), getHeight(), true, true);

    // The area above the button, for updating mode.
    layout.clearAllItems();
    layout.setItemLayout (0, 40, 40, 40);
    layout.setItemLayout (1, 48, 144, 96);
    layout.setItemLayout (2, 40, 120, 80);

    juce::Component* updatingItems[] = { titleLabel.get(), spinner.get(), messageLabel.get() };
    layout.layOutComponents (updatingItems, 3, 0, 0, getWidth(), actionButton->getY(), true, true);

    const auto slot = spinner->getBounds();
    spinner->setBounds (slot.getX() + (slot.getWidth() - spinnerSize) / 2,
                        slot.getY() + (slot.getHeight() - spinnerSize) / 2, spinnerSize, spinnerSize);
}
