// The baseline of the benchmark: a JUCE application whose one window has the
// updater's size, title bar and background, and draws nothing else. What it
// costs to start, to idle and to keep in memory is JUCE's and Wine's share
// of the updater's figures.
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    class EmptyContent : public juce::Component
    {
    public:
        EmptyContent() { setSize (375, 667); }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));
        }
    };

    class BareWindow : public juce::DocumentWindow
    {
    public:
        BareWindow()
            : DocumentWindow ("Bare JUCE Window",
                              juce::Desktop::getInstance().getDefaultLookAndFeel()
                                  .findColour (juce::ResizableWindow::backgroundColourId),
                              DocumentWindow::allButtons)
        {
            setUsingNativeTitleBar (true);
            setContentOwned (new EmptyContent(), true);
            setResizable (true, true);
            centreWithSize (getWidth(), getHeight());
            setVisible (true);
        }

        void closeButtonPressed() override { juce::JUCEApplication::getInstance()->systemRequestedQuit(); }
    };

    class BareApplication : public juce::JUCEApplication
    {
    public:
        const juce::String getApplicationName() override { return "Bare JUCE Window"; }
        const juce::String getApplicationVersion() override { return "1.0.0"; }
        bool moreThanOneInstanceAllowed() override { return true; }
        void initialise (const juce::String&) override { window = std::make_unique<BareWindow>(); }
        void shutdown() override { window = nullptr; }

    private:
        std::unique_ptr<BareWindow> window;
    };
}

START_JUCE_APPLICATION (BareApplication)
