// Drives the updater's main window through each look of its pages, has
// scripts/lib/screenshot save a picture of each, and reads every picture
// back to see that it shows its page: the step picture, the title, the text
// under it, the red action button and its text, the busy ring, the rows, the
// disabled button, the help link and the toast. A page that shows the wrong
// thing fails the run. The window and its content are
// the program's own; only the order of the looks is this program's, since
// no device leads the flow here.
#include "app/KelvaneFwUpgradeLauncher.h"
#include "app/MainComponent.h"
#include "support/MessageLoop.h"
#include "support/PageLook.h"
#include "support/ScreenshotScript.h"

#include <cstdio>

namespace
{
    const juce::String instruction = "Hold down the pair button while plugging in the power cable to put the "
                                     "Kelvane into firmware update mode, which is indicated by a solid white light.";
    const juce::String updatingMessage = "Please do not disconnect the USB cable, or turn off Kelvane or PC/Mac "
                                         "during the update process.";
    const juce::String failed = "Please try again. If the error persists, please contact our support team from the "
                                "help center below.";

    bool shows (testsupport::ScreenshotScript& script, const juce::String& name, const juce::Component& content,
                const testsupport::PageLook& look)
    {
        if (! script.shot (name, content))
            return false;

        const auto picture = script.picture (name);

        if (picture.isNull())
        {
            std::fprintf (stderr, "%s: the picture cannot be read back\n", name.toRawUTF8());
            return false;
        }

        const auto differences = testsupport::differencesFrom (picture, look);

        for (const auto& difference : differences)
            std::fprintf (stderr, "%s is not the %s: %s\n", name.toRawUTF8(), look.name.toRawUTF8(),
                          difference.toRawUTF8());

        return differences.isEmpty();
    }

    // A picture kept above must not pass for a look that differs from its
    // page in one text: the recogniser reads every text, not the page's
    // shape alone.
    bool refuses (testsupport::ScreenshotScript& script, const juce::String& name, const testsupport::PageLook& look,
                  const juce::String& changed)
    {
        const auto differences = testsupport::differencesFrom (script.picture (name), look);

        if (differences.isEmpty())
            std::fprintf (stderr, "%s passes for the %s with %s\n", name.toRawUTF8(), look.name.toRawUTF8(),
                          changed.toRawUTF8());

        return ! differences.isEmpty();
    }
}

int main()
{
    juce::ScopedJuceInitialiser_GUI framework;
    testsupport::ScreenshotScript script;

    KelvaneFwUpgradeLauncher::MainWindow window ("Kelvane Firmware Updater");
    auto* page = dynamic_cast<MainComponent*> (window.getContentComponent());

    if (page == nullptr)
        return 2;

    using testsupport::PageLook;
    bool allShown = true;

    // The first page is the flow's own first state.
    allShown &= shows (script, "step_page", *page, PageLook::step (1, "Update MCU", instruction, "Next").withoutToast());

    page->showBusy ("Checking the USB driver ...");
    allShown &= shows (script, "busy_page", *page, PageLook::busy (1, "Checking the USB driver ...").withoutToast());

    page->showDeviceInfo ("2.4.1", "Update MCU");
    allShown &= shows (script, "version_page", *page, PageLook::deviceInfo ("2.4.1", "Update MCU").withoutToast());

    page->showUpdating ("Updating the MCU ...", updatingMessage);
    allShown &= shows (script, "updating_page", *page,
                       PageLook::updating ("Updating the MCU ...", updatingMessage).withoutToast());

    page->showStep (3, "Update Failed", failed, "Retry");
    page->showToast ("Failed to update MCU!");
    testsupport::pumpFor (600); // the toast's fade-in
    allShown &= shows (script, "failure_toast", *page,
                       PageLook::step (3, "Update Failed", failed, "Retry").withToast ("Failed to update MCU!"));

    // The wireless-module flow's message lacks the final period: the only
    // text in which its updating page differs from the MCU flow's.
    const juce::String wirelessMessage = updatingMessage.dropLastCharacters (1);
    auto withoutLink = PageLook::step (3, "Update Failed", failed, "Retry");
    withoutLink.helpLink = false;
    auto busyWithText = PageLook::busy (1, "Checking the USB driver ...");
    busyWithText.body = instruction;
    auto otherButton = PageLook::updating ("Updating the MCU ...", updatingMessage);
    otherButton.dimmedButton = juce::String ("Update MCU");

    const struct
    {
        const char* picture;
        PageLook look;
        const char* changed;
    } nearMisses[] = {
        { "step_page", PageLook::step (1, "Update MCU", failed, "Next"), "the failure page's description" },
        { "busy_page", busyWithText, "the first page's description" },
        { "updating_page", PageLook::updating ("Updating the MCU ...", wirelessMessage),
          "the wireless-module flow's message" },
        { "updating_page", otherButton, "\"Update MCU\" on the disabled button" },
        { "failure_toast", withoutLink, "no help link" },
    };

    for (const auto& miss : nearMisses)
        allShown &= refuses (script, miss.picture, miss.look, miss.changed);

    return testsupport::ScreenshotScript::endWith (allShown ? 0 : 1);
}
