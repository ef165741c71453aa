#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The application object: one instance per machine, one main window whose
// content is MainComponent.
class KelvaneFwUpgradeLauncher : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    class MainWindow : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (juce::String name);

        void closeButtonPressed() override;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    std::unique_ptr<MainWindow> mainWindow;
};
