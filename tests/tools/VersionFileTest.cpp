// The version text read from "version.txt" beside the firmware images.
#include "ToolFolder.h"

#include "tools/McuCommands.h"
#include "tools/VersionFile.h"
#include "tools/WirelessCommands.h"

struct VersionCase
{
    const char* name;
    const char* content;
    const char* expected;
};

class VersionFileContent : public testing::TestWithParam<VersionCase>
{
};

TEST_P (VersionFileContent, LinesJoinedWithCommaAndBlank)
{
    const auto& c = GetParam();
    EXPECT_EQ (versionTextFromContent (c.content), c.expected);
}

INSTANTIATE_TEST_SUITE_P (VersionFile, VersionFileContent,
                          testing::Values (VersionCase { "NoBreak", "1.0.4", "1.0.4" },
                                           VersionCase { "LineFeed", "1.0.4\n", "1.0.4, " },
                                           VersionCase { "CarriageReturnLineFeed", "1.0.4\r\n", "1.0.4, " },
                                           VersionCase { "CarriageReturn", "1.0.4\r", "1.0.4, " },
                                           VersionCase { "TwoLines", "1.0.4\nbeta", "1.0.4, beta" },
                                           VersionCase { "NothingTrimmed", " 1.0.4 \n\nx", " 1.0.4 , , x" },
                                           VersionCase { "Empty", "", "" }),
                          [] (const testing::TestParamInfo<VersionCase>& p) { return std::string (p.param.name); });

class VersionFile : public ToolFolderTest
{
protected:
    void TearDown() override
    {
        images().deleteRecursively();
        ToolFolderTest::TearDown();
    }

    void SetUp() override
    {
        ToolFolderTest::SetUp();
        images().getChildFile ("ESP32bin").createDirectory();
    }

    static juce::File images() { return folder().getChildFile ("Images"); }
};

TEST_F (VersionFile, AbsentWhenNoFileOfThatName)
{
    EXPECT_FALSE (readFirmwareVersion().has_value());
    EXPECT_FALSE (readWirelessFirmwareVersion().has_value());
}

TEST_F (VersionFile, EachFirmwareHasItsOwnFile)
{
    ASSERT_TRUE (images().getChildFile ("version.txt").replaceWithText ("1.2.0\r\n", false, false, nullptr));
    ASSERT_TRUE (images().getChildFile ("ESP32bin").getChildFile ("version.txt").replaceWithText ("2.0.1"));

    EXPECT_EQ (readFirmwareVersion(), std::optional<std::string> ("1.2.0, "));
    EXPECT_EQ (readWirelessFirmwareVersion(), std::optional<std::string> ("2.0.1"));
}

TEST_F (VersionFile, AnEmptyFileOrAFolderOfThatNameGivesAPresentEmptyText)
{
    ASSERT_TRUE (images().getChildFile ("version.txt").replaceWithText (""));
    EXPECT_EQ (readFirmwareVersion(), std::optional<std::string> (""));

    ASSERT_TRUE (images().getChildFile ("ESP32bin").getChildFile ("version.txt").createDirectory());
    EXPECT_EQ (readWirelessFirmwareVersion(), std::optional<std::string> (""));
}

TEST_F (VersionFile, TextOutsideAsciiStaysUtf8)
{
    ASSERT_TRUE (images().getChildFile ("version.txt").replaceWithText (juce::String (juce::CharPointer_UTF8 ("1.0 \xc3\xa9t\xc3\xa9"))));
    EXPECT_EQ (readFirmwareVersion(), std::optional<std::string> ("1.0 \xc3\xa9t\xc3\xa9"));
}
