#include "app/KelvaneFwUpgradeLauncher.h"

#include "app/MainComponent.h"
#include "app/ParentConsole.h"

#include <windows.h>

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
    auto engine = std::make_unique<MainComponent>();

    // Under Wine a worker killed in the middle of its work has been seen to
    // leave the process's memory lock held: the thread died inside a call
    // that held it. The program then hung in its ending, its window still
    // up. So the quit goes no further: the process ends as a quit ends it,
    // with 0, and what was still to free goes with it.
    engine->onWorkerKilled = [] { TerminateProcess (GetCurrentProcess(), 0); };

    setContentOwned (engine.release(), true);
    setResizable (true, true);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}

void KelvaneFwUpgradeLauncher::MainWindow::closeButtonPressed()
{
    // Never refused, not even while a tool runs.
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
