// The page half of MainComponent: the window's layout, its background, and
// the page operations the states show their pages with.
#include "app/MainComponent.h"
#include "resources/BinaryData.h"
#include "support/Children.h"
#include "support/MessageLoop.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

#include <windows.h>

using testsupport::childAt;
using Bounds = juce::Rectangle<int>;

namespace
{
    // Counts the clicks that reach the flow, and stays put.
    class CountingState : public State
    {
    public:
        CountingState (MainComponent* ownerComponent, int& clicksToCount)
            : State (ownerComponent), clicks (clicksToCount)
        {
        }

        std::unique_ptr<State> clone() override { return std::make_unique<CountingState> (*this); }

        std::unique_ptr<State> handle (const Event& event) override
        {
            if (dynamic_cast<const ButtonClicked*> (&event) != nullptr)
                ++clicks;
            return nullptr;
        }

        int& clicks;
    };

    struct Host
    {
        Host()
            : component ([this] (MainComponent* owner) { return std::make_unique<CountingState> (owner, clicks); })
        {
        }

        juce::ImageComponent& picture() { return childAt<juce::ImageComponent> (component, 0); }
        PreparationView& preparation() { return childAt<PreparationView> (component, 1); }
        UpdateView& update() { return childAt<UpdateView> (component, 2); }
        MessageToast& toast() { return childAt<MessageToast> (component, 3); }

        juce::TextButton& preparationButton() { return childAt<juce::TextButton> (preparation(), 2); }
        juce::TextButton& updateButton() { return childAt<juce::TextButton> (update(), 5); }

        int clicks = 0;
        MainComponent component;
    };

    juce::Image decoded (const char* data, int size)
    {
        return juce::ImageFileFormat::loadFrom (data, (size_t) size);
    }

    juce::Image stepPicture (int key)
    {
        switch (key)
        {
            case 0: return decoded (BinaryData::kelvane_normal_png, BinaryData::kelvane_normal_pngSize);
            case 1: return decoded (BinaryData::kelvane_repair_png, BinaryData::kelvane_repair_pngSize);
            case 2: return decoded (BinaryData::kelvane_ok_png, BinaryData::kelvane_ok_pngSize);
            case 3: return decoded (BinaryData::kelvane_warning_png, BinaryData::kelvane_warning_pngSize);
            case 4: return decoded (BinaryData::kelvane_connect_png, BinaryData::kelvane_connect_pngSize);
            default: return {};
        }
    }

    ::testing::AssertionResult shows (Host& host, int key)
    {
        if (testsupport::samePixels (host.picture().getImage(), stepPicture (key)))
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "the picture is not step picture " << key;
    }

    // Counts the layouts a size change sets off, nested ones included.
    struct ResizeCounter : juce::ComponentListener
    {
        void componentMovedOrResized (juce::Component&, bool, bool wasResized) override
        {
            if (wasResized)
                ++count;
        }

        int count = 0;
    };
}

TEST (PageHostLayout, AtTheFirstSize)
{
    Host host;

    EXPECT_EQ (host.component.getBounds(), Bounds (0, 0, 375, 667));
    EXPECT_EQ (host.picture().getBounds(), Bounds (40, 50, 295, 264));
    EXPECT_EQ (host.preparation().getBounds(), Bounds (40, 336, 295, 331));
    EXPECT_EQ (host.toast().getBounds(), Bounds (40, 40, 295, 80));
    EXPECT_TRUE (host.preparation().isVisible());
    EXPECT_FALSE (host.update().isVisible());
    EXPECT_TRUE (shows (host, 0));
}

struct MinimumCase
{
    int width, height;
    int expectedWidth, expectedHeight;
    int layouts; // the size change itself and each nested pass
};

class PageHostMinimum : public ::testing::TestWithParam<MinimumCase>
{
};

TEST_P (PageHostMinimum, KeepsTheComponentAtLeast200By400)
{
    const auto sizes = GetParam();
    Host host;
    ResizeCounter counter;
    host.component.addComponentListener (&counter);

    host.component.setSize (sizes.width, sizes.height);
    host.component.removeComponentListener (&counter);

    EXPECT_EQ (host.component.getWidth(), sizes.expectedWidth);
    EXPECT_EQ (host.component.getHeight(), sizes.expectedHeight);
    EXPECT_EQ (counter.count, sizes.layouts);
    EXPECT_EQ (host.toast().getBounds(), Bounds (40, 40, sizes.expectedWidth - 80, 80));
}

INSTANTIATE_TEST_SUITE_P (PageHostLayout, PageHostMinimum,
                          ::testing::Values (MinimumCase { 150, 300, 200, 400, 3 },
                                             MinimumCase { 150, 667, 200, 667, 2 },
                                             MinimumCase { 375, 300, 375, 400, 2 },
                                             MinimumCase { 200, 400, 200, 400, 1 }));

TEST (PageHostLayout, AtTheMinimumEveryItemGetsItsMinimum)
{
    Host host;
    host.component.setSize (100, 100);

    // The page's lower 220 pixels lie beyond the bottom edge.
    EXPECT_EQ (host.picture().getBounds(), Bounds (40, 50, 120, 250));
    EXPECT_EQ (host.preparation().getBounds(), Bounds (40, 320, 120, 300));

    // The update page, shown now, takes the same slot.
    host.component.showDeviceInfo ("1.0", "Update MCU");
    EXPECT_EQ (host.update().getBounds(), Bounds (40, 320, 120, 300));
}

TEST (PageHostModes, ExactlyOnePageIsVisibleAndItHasTheSlot)
{
    Host host;
    const Bounds slot (40, 336, 295, 331);

    struct Step
    {
        const char* name;
        std::function<void (MainComponent&)> show;
        bool preparation;
        int picture;
    };

    const Step steps[] = {
        { "step 1", [] (MainComponent& c) { c.showStep (1, "Update MCU", "Hold down ...", "Next"); }, true, 1 },
        { "busy after step 1", [] (MainComponent& c) { c.showBusy ("Checking the USB driver ..."); }, true, 1 },
        { "device info", [] (MainComponent& c) { c.showDeviceInfo ("1.0", "Update MCU"); }, false, 0 },
        { "updating", [] (MainComponent& c) { c.showUpdating ("Updating the MCU ...", "Please wait."); }, false, 0 },
        { "busy after updating", [] (MainComponent& c) { c.showBusy ("Checking the MCU ..."); }, true, 0 },
        { "step 3", [] (MainComponent& c) { c.showStep (3, "Update Failed", "Please try again.", "Retry"); }, true, 3 },
        { "device info again", [] (MainComponent& c) { c.showDeviceInfo ("1.0", "Update MCU"); }, false, 0 },
        { "step 2", [] (MainComponent& c) { c.showStep (2, "Update Complete", "Ready.", "Quit"); }, true, 2 },
        { "step 4", [] (MainComponent& c) { c.showStep (4, "Update Wireless", "Connect.", "Next"); }, true, 4 },
    };

    for (const auto& step : steps)
    {
        step.show (host.component);
        SCOPED_TRACE (step.name);

        EXPECT_EQ (host.preparation().isVisible(), step.preparation);
        EXPECT_EQ (host.update().isVisible(), ! step.preparation);
        juce::Component& shown = step.preparation ? static_cast<juce::Component&> (host.preparation())
                                                  : static_cast<juce::Component&> (host.update());
        EXPECT_EQ (shown.getBounds(), slot);
        EXPECT_TRUE (shows (host, step.picture));

        // The toast stays the topmost child whatever page is shown.
        EXPECT_EQ (host.component.getIndexOfChildComponent (&host.toast()), 3);
    }
}

TEST (PageHostModes, AnUnknownPictureKeyShowsNothing)
{
    Host host;
    host.component.showImage (7);
    EXPECT_FALSE (host.picture().getImage().isValid());

    host.component.showImage (1);
    EXPECT_TRUE (shows (host, 1));
}

TEST (PageHostModes, TheStepPicturesHaveTheirSizes)
{
    // Key 1 is the only picture of 293 by 293.
    for (const auto key : { 0, 1, 2, 3, 4 })
    {
        const auto picture = stepPicture (key);
        const auto side = key == 1 ? 293 : 295;
        EXPECT_EQ (picture.getBounds(), Bounds (0, 0, side, side)) << key;
    }
}

TEST (PageHostModes, TheToastShowsTheGivenText)
{
    Host host;
    host.component.showToast ("Cannot detect the device!");

    EXPECT_TRUE (host.toast().isVisible());
    EXPECT_TRUE (host.toast().isTimerRunning());
    EXPECT_EQ (childAt<juce::Label> (host.toast(), 0).getText(), "Cannot detect the device!");
    EXPECT_TRUE (juce::Desktop::getInstance().getAnimator().isAnimating (&host.toast()));

    // A page switch leaves it as it is.
    host.component.showUpdating ("Updating the MCU ...", "");
    EXPECT_TRUE (host.toast().isVisible());
    EXPECT_TRUE (host.toast().isTimerRunning());
    juce::Desktop::getInstance().getAnimator().cancelAllAnimations (false);
}

TEST (PageHostClicks, EachActionButtonClickPostsOneButtonClicked)
{
    Host host;
    host.component.showStep (1, "Update MCU", "Hold down ...", "Next");
    host.preparationButton().triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return host.clicks == 1; }));

    host.component.showDeviceInfo ("1.0", "Update MCU");
    host.updateButton().triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return host.clicks == 2; }));

    // The update page's "Updating" button is disabled and sends nothing.
    host.component.showUpdating ("Updating the MCU ...", "");
    host.updateButton().triggerClick();
    testsupport::pumpFor (100);
    EXPECT_EQ (host.clicks, 2);
}

TEST (PageHostFirstPage, TheFlowStartsOnTheInstructionPage)
{
    MainComponent component;
    auto& preparation = childAt<PreparationView> (component, 1);

    EXPECT_TRUE (preparation.isVisible());
    EXPECT_FALSE (childAt<UpdateView> (component, 2).isVisible());
    EXPECT_EQ (childAt<juce::ImageComponent> (component, 0).getImage().getWidth(), 293);
    EXPECT_EQ (childAt<juce::Label> (preparation, 0).getText(), "Update MCU");
    EXPECT_TRUE (childAt<juce::Label> (preparation, 1).getText().startsWith ("Hold down the pair button"));
    EXPECT_EQ (childAt<juce::TextButton> (preparation, 2).getButtonText(), "Next");
}

TEST (PageHostBackground, TheGlowKeepsTheCentreAndRadiusOfTheFirstPaint)
{
    // The gradient is made once per program, at the first paint: this test
    // has its own process and paints first.
    Host host;
    const auto first = testsupport::snapshotOf (host.component);

    EXPECT_TRUE (testsupport::pixelIs (first, 0, 0, juce::Colour (0xff3c3c3c), 2));
    EXPECT_TRUE (testsupport::pixelIs (first, 374, 666, juce::Colour (0xff171717)));
    // At 212 pixels from the centre, half the radius of about 425: half-way.
    EXPECT_TRUE (testsupport::pixelIs (first, 212, 0, juce::Colour (0xff3c3c3c).interpolatedWith (juce::Colour (0xff171717), 0.5f), 3));

    // At 800 by 800 a new gradient would reach about 835 pixels; the kept one
    // still ends at 425.
    host.component.setSize (800, 800);
    const auto resized = testsupport::snapshotOf (host.component);
    EXPECT_TRUE (testsupport::pixelIs (resized, 0, 0, juce::Colour (0xff3c3c3c), 2));
    EXPECT_TRUE (testsupport::pixelIs (resized, 212, 0, juce::Colour (0xff3c3c3c).interpolatedWith (juce::Colour (0xff171717), 0.5f), 3));
    EXPECT_TRUE (testsupport::pixelIs (resized, 600, 10, juce::Colour (0xff171717)));
}

TEST (PageHostClicks, MouseClicksOnTheWindowPostOneButtonClickedEach)
{
    // Through the window's own mouse messages, as a user's click arrives.
    Host host;
    host.component.showStep (1, "Update MCU", "Hold down ...", "Next");
    // The framework gives a click to the component of the window that is
    // at the point on the screen, and the other test programs' windows share
    // this display: one shown later over this one would take the click.
    host.component.setAlwaysOnTop (true);
    host.component.addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    host.component.setVisible (true);
    auto* window = static_cast<HWND> (host.component.getPeer()->getNativeHandle());
    ASSERT_NE (window, nullptr);

    const auto centre = host.component.getLocalPoint (&host.preparationButton(),
                                                      host.preparationButton().getLocalBounds().getCentre());
    const auto position = MAKELPARAM (centre.x, centre.y);
    PostMessageW (window, WM_MOUSEMOVE, 0, position);

    for (const auto expected : { 1, 2 })
    {
        PostMessageW (window, WM_LBUTTONDOWN, MK_LBUTTON, position);
        PostMessageW (window, WM_LBUTTONUP, 0, position);

        // A limit for a click that never comes: on a busy machine a posted
        // message can take seconds to be handled.
        ASSERT_TRUE (testsupport::pumpUntil ([&] { return host.clicks >= expected; }, 20000));
        testsupport::pumpFor (100);
        EXPECT_EQ (host.clicks, expected);
    }
}
