// Drives the updater's main window through each look of its pages and has
// scripts/lib/screenshot save a picture of each, for a person to look at.
// The window and its content are the program's own; only the order of the
// looks is this program's, since no device leads the flow here.
#include "app/KelvaneFwUpgradeLauncher.h"
#include "app/MainComponent.h"
#include "support/MessageLoop.h"
#include "support/ScreenshotScript.h"

int main()
{
    juce::ScopedJuceInitialiser_GUI framework;
    testsupport::ScreenshotScript script;

    KelvaneFwUpgradeLauncher::MainWindow window ("Kelvane Firmware Updater");
    auto* page = dynamic_cast<MainComponent*> (window.getContentComponent());

    if (page == nullptr)
        return 2;

    // The first page is the flow's own first state.
    if (! script.shot ("step_page", window))
        return 1;

    page->showBusy ("Checking the USB driver ...");
    if (! script.shot ("busy_page", window))
        return 1;

    page->showDeviceInfo ("2.4.1", "Update MCU");
    if (! script.shot ("version_page", window))
        return 1;

    page->showUpdating ("Updating the MCU ...",
                        "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac during the "
                        "update process.");
    if (! script.shot ("updating_page", window))
        return 1;

    page->showStep (3, "Update Failed",
                    "Please try again. If the error persists, please contact our support team from the help "
                    "center below.",
                    "Retry");
    page->showToast ("Failed to update MCU!");
    testsupport::pumpFor (600); // the toast's fade-in
    if (! script.shot ("failure_toast", window))
        return 1;

    return 0;
}
