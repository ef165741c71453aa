// The real updater, started from a user's folder, driven through its window
// with the X pointer and checked page by page by what the window shows.
#include "UpdaterRun.h"

#include "support/MessageLoop.h"

using testsupport::PageLook;

namespace
{
    const juce::String firstTitle = "Update MCU";

    // How long a page may take to come: the window's start under Wine, or a
    // tool run of half a second and more.
    constexpr int windowTimeoutMs = 30000;
    constexpr int pageTimeoutMs = 15000;

    const PageLook firstPage = PageLook::step (1, firstTitle, firstInstruction, "Next").withoutToast();

    juce::String roadName()
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        return juce::String (test->test_suite_name()) + "." + test->name();
    }
}

class FirstPage : public testing::Test
{
protected:
    void SetUp() override { folder.putDfuUtil (roadPrograms().realDfuUtil); }

    UserFolder folder;
};

TEST_F (FirstPage, ShowsAndClosingTheWindowEndsTheProgram)
{
    RunningUpdater updater (folder.updater());
    ASSERT_TRUE (updater.started());
    ASSERT_TRUE (updater.waitForWindow (windowTimeoutMs));
    EXPECT_EQ (updater.contentOnScreen().getWidth(), 375);
    EXPECT_EQ (updater.contentOnScreen().getHeight(), 667);

    Screen screen (updater, roadName());
    ASSERT_TRUE (screen.shows (firstPage, windowTimeoutMs));
    EXPECT_TRUE (screen.keep ("page_first"));

    ASSERT_TRUE (screen.closeWindow());
    DWORD exitCode = 99;
    ASSERT_TRUE (updater.endsWithin (10000, exitCode)) << "closing the window did not end the program";
    EXPECT_EQ (exitCode, 0u);
}

namespace
{
    RoadPrograms programs;
    testsupport::ScreenshotScript* script = nullptr;
}

const RoadPrograms& roadPrograms()
{
    return programs;
}

testsupport::ScreenshotScript& screenshotScript()
{
    return *script;
}

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);

    if (argc != 4)
    {
        std::fprintf (stderr, "usage: e2e_tests <updater.exe> <fake tool.exe> <dfu-util.exe> [gtest options]\n");
        return 2;
    }

    programs = { juce::File (argv[1]), juce::File (argv[2]), juce::File (argv[3]) };
    const juce::ScopedJuceInitialiser_GUI framework;
    testsupport::ScreenshotScript theScript;
    script = &theScript;
    return testsupport::ScreenshotScript::endWith (RUN_ALL_TESTS());
}
