// The updater's main window on its busy page, for the benchmark's idle CPU
// figure of a page that animates. The window and its pages are the
// program's own; only the jump to the busy page is this program's, since no
// device leads the flow there.
#include "app/KelvaneFwUpgradeLauncher.h"
#include "app/MainComponent.h"

namespace
{
    class BusyPageApplication : public juce::JUCEApplication
    {
    public:
        const juce::String getApplicationName() override { return "Kelvane Firmware Updater busy page"; }
        const juce::String getApplicationVersion() override { return "1.0.0"; }
        bool moreThanOneInstanceAllowed() override { return true; }

        void initialise (const juce::String&) override
        {
            window = std::make_unique<KelvaneFwUpgradeLauncher::MainWindow> (getApplicationName());

            if (auto* page = dynamic_cast<MainComponent*> (window->getContentComponent()))
                page->showBusy ("Checking the USB driver ...");
        }

        void shutdown() override { window = nullptr; }

    private:
        std::unique_ptr<KelvaneFwUpgradeLauncher::MainWindow> window;
    };
}

START_JUCE_APPLICATION (BusyPageApplication)
