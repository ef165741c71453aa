#include "ui/PreparationView.h"

#include "resources/BinaryData.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"

namespace
{
    const char* const helpCentreAddress = "https://help.ornvale.com/hc/kelvane";

    constexpr int helpIconSize = 25;
    constexpr int spinnerSize = 48;
}

PreparationView::PreparationView (std::function<void()> onAction)
{
    titleLabel = std::make_unique<juce::Label>();
    titleLabel->setFont (robotoBold18);
    titleLabel->setJustificationType (juce::Justification::centred);
    titleLabel->setColour (juce::Label::textColourId, titleColour);
    titleLabel->setSize (getWidth(), 40);
    addChildComponent (*titleLabel);

    // The description keeps the framework's default label font.
    descriptionLabel = std::make_unique<juce::Label>();
    descriptionLabel->setJustificationType (juce::Justification::centred);
    descriptionLabel->setColour (juce::Label::textColourId, bodyTextColour);
    descriptionLabel->setSize (getWidth(), 40);
    addAndMakeVisible (*descriptionLabel);

    actionButton = std::make_unique<juce::TextButton>();
    actionButton->setColour (juce::TextButton::textColourOnId, juce::Colours::white);
    actionButton->setColour (juce::TextButton::textColourOffId, juce::Colours::white);
    actionButton->setColour (juce::TextButton::buttonColourId, actionColour);
    actionButton->setSize (getWidth(), 40);
    actionButton->setMouseCursor (juce::MouseCursor::PointingHandCursor);
    actionButton->setLookAndFeel (&buttonLookAndFeel);
    actionButton->onClick = std::move (onAction);
    addAndMakeVisible (*actionButton);

    spinner = std::make_unique<Spinner>();
    spinner->setSize (getWidth(), getHeight());
    addChildComponent (*spinner);

    helpIcon.setImage (juce::ImageFileFormat::loadFrom (BinaryData::help_icon_png,
                                                        (size_t) BinaryData::help_icon_pngSize));

    // No click action of its own: the link lies over it and takes the clicks.
    helpIconButton = std::make_unique<juce::DrawableButton> ("Help Center", juce::DrawableButton::ImageFitted);
    helpIconButton->setImages (&helpIcon);
    helpIconButton->setSize (getWidth(), 40);
    addAndMakeVisible (*helpIconButton);

    helpLinkButton = std::make_unique<juce::TextButton>();
    helpLinkButton->setButtonText ("Help Center");
    helpLinkButton->setColour (juce::TextButton::textColourOffId, linkColour);
    helpLinkButton->setColour (juce::TextButton::buttonColourId, juce::Colour (0x00000000));
    helpLinkButton->setSize (getWidth(), 40);
    helpLinkButton->setLookAndFeel (&linkLookAndFeel);
    helpLinkButton->setMouseCursor (juce::MouseCursor::PointingHandCursor);
    helpLinkButton->onClick = [] { juce::URL (helpCentreAddress).launchInDefaultBrowser(); };
    addAndMakeVisible (*helpLinkButton);
}

PreparationView::~PreparationView()
{
    actionButton->setLookAndFeel (nullptr);
    helpLinkButton->setLookAndFeel (nullptr);
}

void PreparationView::showStep (const juce::String& title, const juce::String& description,
                                const juce::String& buttonText)
{
    titleLabel->setVisible (true);
    descriptionLabel->setVisible (true);
    actionButton->setVisible (true);
    spinner->setVisible (false);

    titleLabel->setText (title, juce::dontSendNotification);
    descriptionLabel->setText (description, juce::dontSendNotification);
    actionButton->setButtonText (buttonText);
}

void PreparationView::showBusy (const juce::String& title)
{
    titleLabel->setVisible (true);
    descriptionLabel->setVisible (false);
    actionButton->setVisible (false);
    spinner->setVisible (true);

    titleLabel->setText (title, juce::dontSendNotification);
}

void PreparationView::resized()
{
    // The button's and the link's preferred sizes are their heights from the
    // last layout, so repeated layouts at one size still move them a little
    // until they settle.
    juce::StretchableLayoutManager layout;
    layout.setItemLayout (0, 40, 40, 40);
    layout.setItemLayout (1, 40, 200, 120);
    layout.setItemLayout (2, 32, 60, actionButton->getHeight());
    layout.setItemLayout (3, 0, -0.5, 50);
    layout.setItemLayout (4, 20, 40, helpLinkButton->getHeight());

    juce::Component* items[] = { titleLabel.get(), descriptionLabel.get(), actionButton.get(), nullptr,
                                 helpLinkButton.get() };
    layout.layOutComponents (items, 5, 0, 0, getWidth(), getHeight(), true, true);

    helpLinkButton->setTopLeftPosition (5, helpLinkButton->getY());

    helpIconButton->setBounds (getWidth() / 2 - 50,
                               helpLinkButton->getY() + helpLinkButton->getHeight() / 2 - helpIconSize / 2,
                               helpIconSize, helpIconSize);

    spinner->setBounds ((getWidth() - spinnerSize) / 2, actionButton->getY() - spinnerSize,
                        spinnerSize, spinnerSize);
}
