#include "app/KelvaneFwUpgradeLauncher.h"

#include "app/MainComponent.h"
#include "app/ParentConsole.h"

const juce::String KelvaneFwUpgradeLauncher::getApplicationName()
{
    return "Kelvane Firmware Updater";
}

const juce::String KelvaneFwUpgradeLauncher::getApplicationVersion()
{
    return "1.0.0";
}

bool KelvaneFwUpgradeLauncher::moreThanOneInstanceAllowed()
{
    return false;
}

void KelvaneFwUpgradeLauncher::initialise (const juce::String&)
{
    // Where the framework would join the parent's console, were it built
    // with MSVC: after the check for a running copy, before the window.
    ParentConsole::attach();
    mainWindow = std::make_unique<MainWindow> (getApplicationName());
}

void KelvaneFwUpgradeLauncher::shutdown()
{
    mainWindow = nullptr;
}

void KelvaneFwUpgradeLauncher::anotherInstanceStarted (const juce::String&)
{
    // A second start changes nothing here, and the window stays where it is.
}

void KelvaneFwUpgradeLauncher::systemRequestedQuit()
{
    quit();
}

KelvaneFwUpgradeLauncher::MainWindow::MainWindow (juce::String name)
    : DocumentWindow (name,
                      juce::Desktop::getInstance().getDefaultLookAndFeel()
                          .findColour (juce::ResizableWindow::backgroundColourId),
                      DocumentWindow::allButtons)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent(), true);
    setResizable (true, true);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}

void KelvaneFwUpgradeLauncher::MainWindow::closeButtonPressed()
{
    // Never refused, not even while a tool runs.
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
