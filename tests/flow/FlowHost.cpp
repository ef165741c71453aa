#include "FlowHost.h"

#include "resources/BinaryData.h"
#include "support/Children.h"
#include "support/MessageLoop.h"
#include "udi/internal.h"

#include <atomic>
#include <climits>
#include <cstring>

using testsupport::childAt;

namespace
{
    juce::Image stepPicture (int key)
    {
        const std::pair<const char*, int> pictures[] = {
            { BinaryData::kelvane_normal_png, BinaryData::kelvane_normal_pngSize },
            { BinaryData::kelvane_repair_png, BinaryData::kelvane_repair_pngSize },
            { BinaryData::kelvane_ok_png, BinaryData::kelvane_ok_pngSize },
            { BinaryData::kelvane_warning_png, BinaryData::kelvane_warning_pngSize },
            { BinaryData::kelvane_connect_png, BinaryData::kelvane_connect_pngSize },
        };
        return juce::ImageFileFormat::loadFrom (pictures[key].first, (size_t) pictures[key].second);
    }

    // Row by row over the raw pixels: quick enough to ask after every step.
    bool samePicture (const juce::Image& a, const juce::Image& b)
    {
        if (! a.isValid() || ! b.isValid() || a.getBounds() != b.getBounds() || a.getFormat() != b.getFormat())
            return false;

        const juce::Image::BitmapData first (a, juce::Image::BitmapData::readOnly);
        const juce::Image::BitmapData second (b, juce::Image::BitmapData::readOnly);
        const auto rowBytes = (size_t) (first.pixelStride * first.width);

        for (int y = 0; y < first.height; ++y)
            if (std::memcmp (first.getLinePointer (y), second.getLinePointer (y), rowBytes) != 0)
                return false;

        return true;
    }

    juce::File versionFile (const juce::File& exeFolder, const char* folderText)
    {
        return exeFolder.getChildFile (folderText).getChildFile ("version.txt");
    }

    // The hold on the driver library's device listings. It lasts as long as
    // the program, and so does the binding's observer that keeps it: a
    // listing that a failed test left waiting may still pass it after that
    // test's engine has gone.
    struct ListingHold
    {
        HANDLE go = CreateSemaphoreW (nullptr, 0, LONG_MAX, nullptr);
        std::atomic<bool> holding { false };
        std::atomic<int> held { 0 };
    };

    ListingHold& listingHold()
    {
        static ListingHold hold;
        return hold;
    }

    // A listing binds this one function, once, right after it has taken its
    // operation's lock; nothing else binds it.
    void holdAListing (const char*, const char* function, const char*)
    {
        auto& hold = listingHold();

        if (! hold.holding || std::strcmp (function, "CM_Get_Device_IDA") != 0)
            return;

        ++hold.held;
        // A minute at most: a test that never lets it go has failed by then.
        WaitForSingleObject (hold.go, 60000);
    }

    void writeOrRemove (const juce::File& file, const std::optional<std::string>& content)
    {
        file.deleteFile();

        if (content.has_value())
        {
            // The framework deletes a file that it is asked to fill with nothing.
            ASSERT_TRUE (file.getParentDirectory().createDirectory());
            ASSERT_TRUE (content->empty() ? file.create().wasOk() : file.replaceWithData (content->data(), content->size()));
        }
    }
}

void FlowTest::SetUp()
{
    ToolFolderTest::SetUp();
    setMcuVersionFile (std::nullopt);
    setWirelessVersionFile (std::nullopt);
    letToolRunsGo();
}

void FlowTest::TearDown()
{
    // Nothing held may outlast the test. The engine waits 100 ms at most for
    // a task still running; the flows' tasks are over by now in every test
    // that ends well.
    letToolRunsGo();

    if (listingHold().holding.exchange (false))
        ReleaseSemaphore (listingHold().go, 1000, nullptr);

    component.reset();
    ToolFolderTest::TearDown();
}

void FlowTest::start (const MainComponent::StateFactory& makeFirstState)
{
    component = std::make_unique<MainComponent> (makeFirstState);
}

int FlowTest::pictureKey()
{
    const auto shown = childAt<juce::ImageComponent> (*component, 0).getImage();
    static const juce::Image pictures[] = { stepPicture (0), stepPicture (1), stepPicture (2), stepPicture (3),
                                            stepPicture (4) };

    for (int key = 0; key < 5; ++key)
        if (samePicture (shown, pictures[key]))
            return key;

    return -1;
}

std::string FlowTest::page()
{
    auto& preparation = childAt<juce::Component> (*component, 1);
    auto& update = childAt<juce::Component> (*component, 2);
    const auto picture = pictureKey();

    if (preparation.isVisible() && ! update.isVisible())
    {
        const auto title = childAt<juce::Label> (preparation, 0).getText();

        if (childAt<juce::Component> (preparation, 3).isVisible())
            return busyPage (picture, title);

        auto& button = childAt<juce::TextButton> (preparation, 2);
        return stepPage (picture, title, childAt<juce::Label> (preparation, 1).getText(),
                         button.getButtonText() + (button.isEnabled() ? "" : " (disabled)"));
    }

    if (update.isVisible() && ! preparation.isVisible() && picture == 0)
    {
        auto& button = childAt<juce::TextButton> (update, 5);
        const auto buttonText = button.getButtonText() + (button.isEnabled() ? "" : " (disabled)");

        if (childAt<juce::Component> (update, 0).isVisible())
        {
            auto& versionRow = childAt<juce::Component> (update, 1);
            return "device info | Version to install: " + childAt<juce::Label> (versionRow, 1).getText().toStdString()
                   + " | " + buttonText.toStdString();
        }

        return "updating | " + childAt<juce::Label> (update, 2).getText().toStdString() + " | "
               + childAt<juce::Label> (update, 3).getText().toStdString() + " | " + buttonText.toStdString();
    }

    return "no single page (update page with picture " + std::to_string (picture) + ")";
}

testing::AssertionResult FlowTest::waitForPage (const std::string& expected, int timeoutMs)
{
    if (testsupport::pumpUntilSeen ([&] { return page() == expected; }, timeoutMs))
        return testing::AssertionSuccess();

    return testing::AssertionFailure() << "after " << timeoutMs << " ms the page is \"" << page() << "\"";
}

juce::String FlowTest::toastText()
{
    return childAt<juce::Label> (childAt<juce::Component> (*component, 3), 0).getText();
}

bool FlowTest::toastIsUp()
{
    return childAt<MessageToast> (*component, 3).isTimerRunning();
}

void FlowTest::click()
{
    auto& preparation = childAt<juce::Component> (*component, 1);
    auto& button = preparation.isVisible() ? childAt<juce::TextButton> (preparation, 2)
                                           : childAt<juce::TextButton> (childAt<juce::Component> (*component, 2), 5);
    button.triggerClick();
}

void FlowTest::setMcuVersionFile (const std::optional<std::string>& content)
{
    writeOrRemove (versionFile (folder(), "Images"), content);
}

void FlowTest::setWirelessVersionFile (const std::optional<std::string>& content)
{
    writeOrRemove (versionFile (folder(), "Images\\ESP32bin"), content);
}

std::string FlowTest::stepPage (int picture, const juce::String& title, const juce::String& description,
                                const juce::String& button)
{
    return "step " + std::to_string (picture) + " | " + title.toStdString() + " | " + description.toStdString()
           + " | " + button.toStdString();
}

std::string FlowTest::busyPage (int picture, const juce::String& title)
{
    return "busy " + std::to_string (picture) + " | " + title.toStdString();
}

std::string FlowTest::deviceInfoPage (const juce::String& version, const juce::String& button)
{
    return "device info | Version to install: " + version.toStdString() + " | " + button.toStdString();
}

std::string FlowTest::updatingPage (const juce::String& title, const juce::String& message)
{
    return "updating | " + title.toStdString() + " | " + message.toStdString() + " | Updating (disabled)";
}

void FlowTest::setToolScript (const juce::StringArray& lines)
{
    juce::StringArray held { "wait " + toolRunsGo.getFile().getFullPathName() };
    held.addArray (lines);
    ToolFolderTest::setToolScript (held);
}

void FlowTest::holdToolRuns()
{
    ASSERT_TRUE (toolRunsGo.getFile().deleteFile());
}

void FlowTest::letToolRunsGo()
{
    ASSERT_TRUE (toolRunsGo.getFile().create());
}

void FlowTest::holdDeviceListings()
{
    auto& hold = listingHold();

    // Whatever an earlier test let go and no listing took.
    while (WaitForSingleObject (hold.go, 0) == WAIT_OBJECT_0)
    {
    }

    hold.held = 0;
    hold.holding = true;

    // Set once, and while no listing runs: the library's binding is not to
    // be changed while an operation of it runs on another thread.
    static const bool observing = [] {
        system_function_observe (holdAListing);
        return true;
    }();
    (void) observing;
}

void FlowTest::letOneListingGo()
{
    ReleaseSemaphore (listingHold().go, 1, nullptr);
}

int FlowTest::listingsHeld()
{
    return listingHold().held;
}

std::vector<juce::String> FlowTest::runs() const
{
    std::vector<juce::String> result;

    for (auto run : recordedRuns())
    {
        run.remove (0);
        result.push_back (run.joinIntoString (" "));
    }

    return result;
}
