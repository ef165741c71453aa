#include <gtest/gtest.h>

#include "udi/parse.h"

namespace {

// A system that runs major.minor whatever it reports.
struct RunningSystem {
    unsigned major;
    unsigned minor;
    int questions;
};

int majorIs(void *context, unsigned major)
{
    auto *system = static_cast<RunningSystem *>(context);
    system->questions++;
    return system->major == major;
}

int versionIs(void *context, unsigned major, unsigned minor)
{
    auto *system = static_cast<RunningSystem *>(context);
    system->questions++;
    return system->major == major && system->minor == minor;
}

struct CodeCase {
    unsigned platform;
    unsigned reportedMajor;
    unsigned reportedMinor;
    unsigned runningMajor;
    unsigned runningMinor;
    int code;
};

class WindowsVersionCode : public testing::TestWithParam<CodeCase> {};

TEST_P(WindowsVersionCode, ComesFromReportAndProbe)
{
    const CodeCase &c = GetParam();
    RunningSystem system = { c.runningMajor, c.runningMinor, 0 };
    const windows_version_probe probe = { majorIs, versionIs, &system };

    EXPECT_EQ(windows_version_code_from(c.platform, c.reportedMajor, c.reportedMinor, &probe), c.code);
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowsVersionCode, testing::Values(
    CodeCase{ 2, 6, 1, 6, 1, 0x61 },    // 7: below 6.2 nothing is probed
    CodeCase{ 2, 6, 0, 6, 0, 0 },       // Vista: too old
    CodeCase{ 2, 5, 1, 5, 1, 0 },       // XP
    CodeCase{ 2, 6, 2, 6, 3, 0x63 },    // 8.1 reporting itself as 8
    CodeCase{ 2, 6, 2, 6, 2, 0x62 },
    CodeCase{ 2, 6, 3, 6, 4, 0x64 },    // the first 10 preview
    CodeCase{ 2, 6, 2, 7, 0, 0x70 },    // a higher major: minor probed from 0
    CodeCase{ 2, 6, 2, 10, 0, 0x62 },   // no major up to 9 answers: the report stays
    CodeCase{ 2, 10, 0, 10, 0, 0xA0 },
    CodeCase{ 2, 16, 0, 16, 0, -1 },    // beyond what one code holds
    CodeCase{ 2, 6, 16, 6, 16, -1 },
    CodeCase{ 1, 4, 10, 4, 10, -1 },    // Windows 98: not NT
    CodeCase{ 0, 10, 0, 10, 0, -1 }));

TEST(WindowsVersionCodeProbe, IsNotAskedBelowSixTwoNorNeededAtAll)
{
    RunningSystem system = { 6, 1, 0 };
    const windows_version_probe probe = { majorIs, versionIs, &system };

    EXPECT_EQ(windows_version_code_from(2, 6, 1, &probe), 0x61);
    EXPECT_EQ(system.questions, 0);
    EXPECT_EQ(windows_version_code_from(2, 6, 3, nullptr), 0x63);
}

}  // namespace
