#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "udi/parse.h"

namespace {

TEST(Format, BoundedGivesTheLengthWhenTheTextFits)
{
    char buffer[16];
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s-%04X", "VID", 0x6E3C), 8);
    EXPECT_STREQ(buffer, "VID-6E3C");
}

TEST(Format, BoundedSaysMinusOneAndTheCallersTerminatorCutsTheText)
{
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s", "0123456789"), -1);
    buffer[sizeof(buffer) - 1] = '\0';
    EXPECT_STREQ(buffer, "0123456");

    // Exactly the size: no room for the terminator, so it does not fit either.
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s", "01234567"), -1);
    EXPECT_EQ(format_bounded(buffer, sizeof(buffer), "%s", "0123456"), 7);
}

TEST(Format, BoundedWideTakesUtf16Texts)
{
    wchar_t buffer[32];
    EXPECT_EQ(format_bounded_wide(buffer, 32, L"%ls (Interface %d)", L"Kelvane", 2), 21);
    EXPECT_STREQ(buffer, L"Kelvane (Interface 2)");

    EXPECT_EQ(format_bounded_wide(buffer, 4, L"%ls", L"Kelvane"), -1);
    buffer[3] = L'\0';
    EXPECT_EQ(std::wcslen(buffer), 3u);
}

TEST(Format, TruncatedAlwaysTerminates)
{
    char buffer[8];
    EXPECT_EQ(format_truncated(buffer, sizeof(buffer), "Global\\%s", "udi_create_list"), -1);
    EXPECT_STREQ(buffer, "Global\\");

    EXPECT_EQ(format_truncated(buffer, sizeof(buffer), "%d", 42), 2);
    EXPECT_STREQ(buffer, "42");
}

TEST(Format, UnboundedWritesTheWholeText)
{
    char buffer[64];
    EXPECT_EQ(format_unbounded(buffer, "%s\\%s", "C:\\pkg", "deviceDrv.inf"), 20);
    EXPECT_STREQ(buffer, "C:\\pkg\\deviceDrv.inf");
}

TEST(Format, RefusesMissingBuffers)
{
    char buffer[4] = "abc";
    EXPECT_EQ(format_bounded(nullptr, 4, "%d", 1), -1);
    EXPECT_EQ(format_bounded(buffer, 0, "%d", 1), -1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(format_truncated(buffer, 0, "%d", 1), -1);
    EXPECT_EQ(format_bounded_wide(nullptr, 4, L"x"), -1);
    EXPECT_EQ(format_unbounded(nullptr, "%d", 1), -1);
}

TEST(Trim, CutsOnlyTrailingWhiteSpace)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Kelvane DFU   ", "Kelvane DFU" },
        { "  Kelvane\t\r\n", "  Kelvane" },
        { "Kelvane", "Kelvane" },
        { " \t ", "" },
        { "", "" },
    };
    for (const auto &c : cases) {
        std::string text = c.first;
        trim_trailing_space(text.data());
        EXPECT_STREQ(text.c_str(), c.second) << '"' << c.first << '"';
    }
    trim_trailing_space(nullptr);
}

// Under Windows-1252 or Latin-1 the byte A0, the last one of U+00E0 and of a
// no-break space in UTF-8, is a space to isspace.
TEST(Trim, LeavesUtf8CharactersWholeInAnyLocale)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Kelvane voil\xC3\xA0", "Kelvane voil\xC3\xA0" },
        { "voil\xC3\xA0 \t", "voil\xC3\xA0" },
        { "no-break\xC2\xA0", "no-break\xC2\xA0" },
        { "Kelvane\v\f", "Kelvane" },
    };
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    for (const char *locale : { "C", ".1252", "en_US.ISO-8859-1" }) {
        if (std::setlocale(LC_CTYPE, locale) == nullptr)
            continue;
        for (const auto &c : cases) {
            std::string text = c.first;
            trim_trailing_space(text.data());
            EXPECT_STREQ(text.c_str(), c.second) << locale << ": \"" << c.first << '"';
        }
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(LogLevel, NamesEachLevelAndAnyOtherAsUnknown)
{
    EXPECT_STREQ(log_level_name(LOG_DEBUG), "debug");
    EXPECT_STREQ(log_level_name(LOG_INFO), "info");
    EXPECT_STREQ(log_level_name(LOG_WARNING), "warning");
    EXPECT_STREQ(log_level_name(LOG_ERROR), "error");
    EXPECT_STREQ(log_level_name(7), "unknown");
    EXPECT_STREQ(log_level_name(-1), "unknown");
    EXPECT_EQ(log_level_threshold, LOG_INFO);
}

struct TokenCase {
    const char *id;
    uint16_t vendor;
    uint16_t product;
    int hasInterface;
    uint8_t interfaceNumber;
    int hasVendorToken;
    int badVendor;
    int badProduct;
    int badInterface;
};

class DeviceIdTokens : public testing::TestWithParam<TokenCase> {};

TEST_P(DeviceIdTokens, ReadsTheIdsOfTheInstanceId)
{
    const TokenCase &c = GetParam();
    device_id_tokens tokens;

    parse_device_id_tokens(c.id, &tokens);

    EXPECT_EQ(tokens.vendor_id, c.vendor);
    EXPECT_EQ(tokens.product_id, c.product);
    EXPECT_EQ(tokens.has_interface_number, c.hasInterface);
    EXPECT_EQ(tokens.interface_number, c.interfaceNumber);
    EXPECT_EQ(tokens.has_vendor_token, c.hasVendorToken);
    EXPECT_EQ(tokens.bad_vendor_token, c.badVendor);
    EXPECT_EQ(tokens.bad_product_token, c.badProduct);
    EXPECT_EQ(tokens.bad_interface_token, c.badInterface);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceIdTokens, testing::Values(
    TokenCase{ "USB\\VID_6E3C&PID_0222\\UDITEST01", 0x6E3C, 0x0222, 0, 0, 1, 0, 0, 0 },
    TokenCase{ "USB\\VID_6E3C&PID_0222&MI_01\\6&1A2B&0&0001", 0x6E3C, 0x0222, 1, 1, 1, 0, 0, 0 },
    TokenCase{ "USB\\VID_045e&PID_07a5&MI_0A\\x", 0x045E, 0x07A5, 1, 0x0A, 1, 0, 0, 0 },
    // Only four (two) digits count; what follows is ignored.
    TokenCase{ "USB\\VID_12345&PID_ABCDEF&MI_123\\x", 0x1234, 0xABCD, 1, 0x12, 1, 0, 0, 0 },
    TokenCase{ "USB\\ROOT_HUB30\\4&2A1B&0&0", 0, 0, 0, 0, 0, 0, 0, 0 },
    TokenCase{ "USB\\VID_ZZZZ&PID_0001\\x", 0, 0x0001, 0, 0, 1, 1, 0, 0 },
    TokenCase{ "USB\\VID_&PID_\\x", 0, 0, 0, 0, 1, 1, 1, 0 },
    TokenCase{ "USB\\VID_0001&PID_0002&MI_GG\\x", 1, 2, 0, 0, 1, 0, 0, 1 },
    // '#' separates as well; prefixes are case-sensitive.
    TokenCase{ "USB#VID_1209#PID_0001#vid_4444", 0x1209, 0x0001, 0, 0, 1, 0, 0, 0 },
    TokenCase{ "usb\\vid_6e3c&pid_0222\\x", 0, 0, 0, 0, 0, 0, 0, 0 },
    TokenCase{ "", 0, 0, 0, 0, 0, 0, 0, 0 }));

TEST(DeviceIdTokensNull, GivesNothing)
{
    device_id_tokens tokens;

    parse_device_id_tokens(nullptr, &tokens);
    EXPECT_EQ(tokens.vendor_id, 0);
    EXPECT_EQ(tokens.has_vendor_token, 0);
}

class HubService : public testing::TestWithParam<const char *> {};

TEST_P(HubService, IsAHub)
{
    EXPECT_TRUE(is_hub_service(GetParam()));
    EXPECT_FALSE(is_composite_parent_service(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(AllFourteen, HubService, testing::Values(
    "usbhub", "usbhub3", "usb3hub", "nusb3hub", "rusb3hub", "flxhcih", "tihub3", "etronhub3",
    "viahub3", "asmthub3", "iusb3hub", "vusb3hub", "amdhub30", "vhhub", "USBHUB3", "UsbHub"));

TEST(ServiceKind, TellsOtherServicesApart)
{
    for (const char *service : { "WinUSB", "usbhub33", "usbhu", "", "usbccgp" })
        EXPECT_FALSE(is_hub_service(service)) << service;
    EXPECT_FALSE(is_hub_service(nullptr));

    EXPECT_TRUE(is_composite_parent_service("usbccgp"));
    EXPECT_TRUE(is_composite_parent_service("USBCCGP"));
    EXPECT_FALSE(is_composite_parent_service("usbccgp2"));
    EXPECT_FALSE(is_composite_parent_service(nullptr));
}

struct VersionCase {
    const char *text;
    uint64_t packed;
};

class DriverVersionText : public testing::TestWithParam<VersionCase> {};

TEST_P(DriverVersionText, PacksSixteenBitsAPart)
{
    EXPECT_EQ(pack_driver_version(GetParam().text), GetParam().packed) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverVersionText, testing::Values(
    VersionCase{ "1.2.6.0", 0x0001000200060000ull },
    VersionCase{ "6.1.7600.16385", 0x00060001'1DB04001ull },
    VersionCase{ "3.0.7", 0x0000000300000007ull },
    VersionCase{ "10", 10 },
    // A fifth part shifts the first one out.
    VersionCase{ "1.2.3.4.5", 0x0002000300040005ull },
    // Parts are read like atoi: leading digits only, none counts 0.
    VersionCase{ "2a.b.7 beta.", 0x0002000000070000ull },
    VersionCase{ "1..2", 0x0000000100000002ull },
    // A part out of range stays in its own 16 bits.
    VersionCase{ "1.70000.3.4", 0x0001FFFF00030004ull },
    VersionCase{ "1.-5.3.4", 0x0001000000030004ull },
    VersionCase{ "", 0 }));

TEST(DriverVersionTextNull, IsZero)
{
    EXPECT_EQ(pack_driver_version(nullptr), 0u);
}

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

const usb_vendor_name sampleTable[] = {
    { 0x0001, "Fry's Electronics" },
    { 0x045E, "Microsoft Corp." },
    { 0x8086, "Intel Corp." },
    { 0xFFEE, "FNK Tech" },
};

TEST(VendorName, FindsTheRowOfTheId)
{
    const size_t count = sizeof(sampleTable) / sizeof(sampleTable[0]);
    EXPECT_STREQ(find_vendor_name(sampleTable, count, 0x045E), "Microsoft Corp.");
    EXPECT_STREQ(find_vendor_name(sampleTable, count, 0x0001), "Fry's Electronics");
    EXPECT_STREQ(find_vendor_name(sampleTable, count, 0xFFEE), "FNK Tech");
    EXPECT_EQ(find_vendor_name(sampleTable, count, 0x6E3C), nullptr);
    // The count bounds the scan.
    EXPECT_EQ(find_vendor_name(sampleTable, 3, 0xFFEE), nullptr);
    EXPECT_EQ(find_vendor_name(nullptr, 4, 0x045E), nullptr);
}

struct PkiCase {
    uint32_t code;
    const char *text;
};

class PkiErrorTable : public testing::TestWithParam<PkiCase> {};

TEST_P(PkiErrorTable, NamesTheCode)
{
    const char *text = pki_error_fixed_text(GetParam().code);
    ASSERT_NE(text, nullptr) << std::hex << GetParam().code;
    EXPECT_STREQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(WholeTable, PkiErrorTable, testing::Values(
    PkiCase{ 0x800706D9, "This system is missing required cryptographic services." },
    PkiCase{ 0x80070020, "Sharing violation - Some data handles to this file are still open." },
    PkiCase{ 0x80090001, "Bad UID." },
    PkiCase{ 0x80090006, "This system's cryptographic DLL has been tampered with." },
    PkiCase{ 0x80090009, "Invalid parameter." },
    PkiCase{ 0x8009000F, "Invalid parameter." },
    PkiCase{ 0x80090014, "Invalid parameter." },
    PkiCase{ 0x8009001F, "Invalid parameter." },
    PkiCase{ 0x8009000E, "Out of memory." },
    PkiCase{ 0x80090016, "The key container could not be opened." },
    PkiCase{ 0x80090019, "The requested provider does not exist." },
    PkiCase{ 0x8009001A, "The requested key container is corrupted." },
    PkiCase{ 0x8009001C, "This system's cryptographic DLL can not be loaded." },
    PkiCase{ 0x8009001D, "This system's cryptographic DLL can not be loaded." },
    PkiCase{ 0x8009001E, "This system's cryptographic DLL can not be loaded." },
    PkiCase{ 0x80091001, "An error occurred while performing an operation on a cryptographic message." },
    PkiCase{ 0x80091002, "Unknown cryptographic algorithm." },
    PkiCase{ 0x80091004, "Invalid cryptographic message type." },
    PkiCase{ 0x80091007, "The hash value is not correct" },
    PkiCase{ 0x8009100D, "Invalid issuer and/or serial number." },
    PkiCase{ 0x80092001, "The length specified for the output data was insufficient." },
    PkiCase{ 0x80092002, "An error occurred during encode or decode operation." },
    PkiCase{ 0x80092003, "An error occurred while reading or writing to a file." },
    PkiCase{ 0x80092004, "Cannot find object or property." },
    PkiCase{ 0x80092005, "The object or property already exists." },
    PkiCase{ 0x80092006, "No provider was specified for the store or object." },
    PkiCase{ 0x80092008, "The previous certificate or CRL context was deleted." },
    PkiCase{ 0x80092009, "Cannot find the requested object." },
    PkiCase{ 0x8009200A, "Private key or certificate issue" },
    PkiCase{ 0x8009200B, "Private key or certificate issue" },
    PkiCase{ 0x8009200C, "Private key or certificate issue" },
    PkiCase{ 0x8009200D, "Not a cryptographic message." },
    PkiCase{ 0x8009200E, "The signed cryptographic message does not have a signer for the specified signer index." },
    PkiCase{ 0x80092010, "The certificate is revoked." },
    PkiCase{ 0x80092011, "Cannot check certificate revocation." },
    PkiCase{ 0x80092012, "Cannot check certificate revocation." },
    PkiCase{ 0x80092013, "Cannot check certificate revocation." },
    PkiCase{ 0x80092014, "Cannot check certificate revocation." },
    PkiCase{ 0x80092020, "Invalid string." },
    PkiCase{ 0x80092022, "Invalid string." },
    PkiCase{ 0x80092024, "Invalid string." },
    PkiCase{ 0x80092026, "The cryptographic operation failed due to a local security option setting." },
    PkiCase{ 0x80092028, "Cannot complete usage check." },
    PkiCase{ 0x80092029, "Cannot complete usage check." },
    PkiCase{ 0x8009202B, "None of the signers of the cryptographic message or certificate trust list is trusted." }));

TEST(PkiErrorTableGaps, LeaveNeighboursUnnamed)
{
    for (uint32_t code : { 0x80090002u, 0x8009001Bu, 0x80092007u, 0x8009200Fu, 0x80092025u,
                           0x8009202Au, 0x8009202Cu, 0x80070005u, 5u })
        EXPECT_EQ(pki_error_fixed_text(code), nullptr) << std::hex << code;
}

TEST(PkiErrorTableGaps, KnowsTheCryptographyRange)
{
    EXPECT_TRUE(is_pki_error_code(0x80090000u));
    EXPECT_TRUE(is_pki_error_code(0x8009FFFFu));
    EXPECT_FALSE(is_pki_error_code(0x80080000u));
    EXPECT_FALSE(is_pki_error_code(0x800706D9u));
    EXPECT_FALSE(is_pki_error_code(5u));
}

TEST(PkiErrorTableGaps, FormatsAnUnknownCodeInItsBuffer)
{
    char buffer[64];
    EXPECT_STREQ(format_unknown_pki_error(buffer, sizeof(buffer), 0x8009ABCDu),
                 "Unknown PKI error 0x8009ABCD");

    char small[12];
    EXPECT_STREQ(format_unknown_pki_error(small, sizeof(small), 0x8009ABCDu), "Unknown PKI");
}

// ---- Token replacement ------------------------------------------------------

struct TokenTable {
    inf_token entries[6] = {};

    TokenTable()
    {
        set(0, "INF_FILENAME", "deviceDrv.inf");
        set(1, "A", "1");
        set(2, "AB", "ab");
        set(3, "B", "22");
        set(4, "EMPTY", "");
    }
    void set(int i, const char *name, const std::string &value)
    {
        entries[i].name = name;
        std::memset(entries[i].value, 0, sizeof(entries[i].value));
        std::memcpy(entries[i].value, value.data(), std::min(value.size(), sizeof(entries[i].value)));
    }
};

// The text replace_tokens makes of input, or the code it answers as text.
std::string replaced(const std::string &input, const char *start = "#", const char *end = "#",
                     const TokenTable &table = TokenTable())
{
    char *out = nullptr;
    const int64_t length = replace_tokens(input.data(), input.size(), &out, table.entries, start, end);
    if (length < 0)
        return "error " + std::to_string(length);
    std::string text(out, static_cast<size_t>(length));
    const bool terminated = out[length] == '\0';
    std::free(out);
    return terminated ? text : "unterminated";
}

struct ReplacementCase {
    const char *name;
    std::string input;
    std::string output;
    const char *start = "#";
    const char *end = "#";
};

class Replacement : public testing::TestWithParam<ReplacementCase> {};

TEST_P(Replacement, GivesTheTextWithItsTokensReplaced)
{
    const ReplacementCase &c = GetParam();
    EXPECT_EQ(replaced(c.input, c.start, c.end), c.output);
}

INSTANTIATE_TEST_SUITE_P(ReplaceTokens, Replacement, testing::Values(
    ReplacementCase{ "NoToken", "DeviceName = \"Kelvane\"\r\n", "DeviceName = \"Kelvane\"\r\n" },
    ReplacementCase{ "UnknownTokenKept", "x #UNKNOWN# y", "x #UNKNOWN# y" },
    ReplacementCase{ "TokenAtTheVeryEnd", "; #INF_FILENAME#", "; deviceDrv.inf" },
    ReplacementCase{ "WholeTextIsAToken", "#A#", "1" },
    ReplacementCase{ "LoneDelimiterAtTheEnd", "abc #", "abc #" },
    ReplacementCase{ "TwoDelimitersAlone", "##", "##" },
    ReplacementCase{ "UnclosedToken", "x #A", "x #A" },
    ReplacementCase{ "AdjacentTokens", "#A##B#", "122" },
    // The closing "#" of an unknown token opens the next one.
    ReplacementCase{ "UnknownTokenClosingOpensTheNext", "#WORD#A#", "#WORD1" },
    ReplacementCase{ "UnknownBetweenKnown", "#A#WORD#B#", "1WORD22" },
    // A shorter name that the text continues past is no match.
    ReplacementCase{ "NameMustBeFollowedByTheEnd", "#AB#", "ab" },
    ReplacementCase{ "EmptyValue", "x#EMPTY#y", "xy" },
    ReplacementCase{ "CaseSensitive", "#a#", "#a#" },
    ReplacementCase{ "LongerDelimiters", "a{{A}}b{{A}", "a1b{{A}", "{{", "}}" },
    ReplacementCase{ "DifferentStartAndEnd", "<A><B>#A#", "122#A#", "<", ">" },
    ReplacementCase{ "EmbeddedNulCopied", std::string("a\0#A#", 5), std::string("a\0" "1", 3) }),
    [](const testing::TestParamInfo<ReplacementCase> &p) { return std::string(p.param.name); });

TEST(ReplaceTokens, ReadsOnlyTheGivenLength)
{
    TokenTable table;
    char *out = nullptr;
    EXPECT_EQ(replace_tokens("#A#xyz", 3, &out, table.entries, "#", "#"), 1);
    EXPECT_STREQ(out, "1");
    std::free(out);
}

TEST(ReplaceTokens, GrowsPastTheFirstKilobyteOfExtraBytes)
{
    TokenTable table;
    const std::string big(INF_TOKEN_VALUE_SIZE - 1, 'v');
    table.set(1, "A", big);
    std::string input, expected;
    for (int i = 0; i < 10; i++) {
        input += "[#A#]";
        expected += "[" + big + "]";
    }
    EXPECT_EQ(replaced(input, "#", "#", table), expected);
}

// A value that fills its buffer to the brim, with no terminator, ends with the buffer.
TEST(ReplaceTokens, ReadsNoValuePastItsBuffer)
{
    TokenTable table;
    std::memset(table.entries[1].value, 'v', sizeof(table.entries[1].value));
    char *out = nullptr;
    ASSERT_EQ(replace_tokens("#A#", 3, &out, table.entries, "#", "#"), INF_TOKEN_VALUE_SIZE);
    EXPECT_EQ(std::string(out), std::string(INF_TOKEN_VALUE_SIZE, 'v'));
    std::free(out);
}

TEST(ReplaceTokens, RefusesBadArgumentsWithoutABuffer)
{
    TokenTable table;
    char *out = reinterpret_cast<char *>(&table);
    const int64_t bad = REPLACE_TOKENS_BAD_ARGUMENT;
    EXPECT_EQ(replace_tokens(nullptr, 3, &out, table.entries, "#", "#"), bad);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(replace_tokens("#A#", 3, nullptr, table.entries, "#", "#"), bad);
    EXPECT_EQ(replace_tokens("#A#", 3, &out, nullptr, "#", "#"), bad);
    EXPECT_EQ(replace_tokens("#A#", 3, &out, table.entries, nullptr, "#"), bad);
    EXPECT_EQ(replace_tokens("#A#", 3, &out, table.entries, "#", nullptr), bad);
    EXPECT_EQ(replace_tokens("#A#", 0, &out, table.entries, "#", "#"), bad);
    EXPECT_EQ(replace_tokens("#A#", 3, &out, table.entries, "", "#"), bad);
    EXPECT_EQ(replace_tokens("#A#", 3, &out, table.entries, "#", ""), bad);
    EXPECT_EQ(out, nullptr);
}

// Room for the text and its slack cannot be counted: out of memory, before any read.
TEST(ReplaceTokens, AnswersOutOfMemoryForALengthThatCannotBeHeld)
{
    TokenTable table;
    char *out = nullptr;
    EXPECT_EQ(replace_tokens("x", SIZE_MAX, &out, table.entries, "#", "#"),
              REPLACE_TOKENS_NO_MEMORY);
    EXPECT_EQ(out, nullptr);
}

// ---- The names of a catalog template -----------------------------------------

// The text exactly as long as it is, without a terminator after it.
std::vector<std::string> catalogNames(std::string text, const char *infName, bool *cut = nullptr)
{
    const std::vector<char> bytes(text.begin(), text.end());
    catalog_list list;
    EXPECT_EQ(cut_catalog_list(bytes.data(), bytes.size(), infName, &list), 0);
    if (cut != nullptr)
        *cut = list.cut != 0;
    std::vector<std::string> names(list.names, list.names + list.count);
    free_catalog_list(&list);
    return names;
}

using Names = std::vector<std::string>;

TEST(CatalogList, TakesTheTemplatesNamesAndTheInfLast)
{
    bool cut = true;
    EXPECT_EQ(catalogNames("# List of the binaries referenced by the WinUSB inf\r\n"
                           "# These are used to generate and self-sign a .cat file\r\n"
                           "\r\n"
                           "WdfCoInstaller01011.dll\r\n"
                           "winusbcoinstaller2.dll",
                           "deviceDrv.inf", &cut),
              (Names{ "WdfCoInstaller01011.dll", "winusbcoinstaller2.dll", "deviceDrv.inf" }));
    EXPECT_FALSE(cut);
}

TEST(CatalogList, CutsAtEachLineEndAndTrimsBothEnds)
{
    EXPECT_EQ(catalogNames("  a.dll \t\r\n\tb.sys  \rc.exe\nd.dll\n\n\r\r \t \n", "x.inf"),
              (Names{ "a.dll", "b.sys", "c.exe", "d.dll", "x.inf" }));
    // A "#" counts only at the start of a name; a comment may be indented.
    EXPECT_EQ(catalogNames("   # comment\r\nname#1.dll\r\n#\r\n", "x.inf"),
              (Names{ "name#1.dll", "x.inf" }));
}

TEST(CatalogList, EmptyTemplatesGiveTheInfAlone)
{
    EXPECT_EQ(catalogNames("", "x.inf"), (Names{ "x.inf" }));
    EXPECT_EQ(catalogNames("# The USB CDC inf references no binary of its own", "x.inf"),
              (Names{ "x.inf" }));
    EXPECT_EQ(catalogNames("a.dll", nullptr), (Names{ "a.dll" }));
}

std::string numberedNames(int count, const char *after = "")
{
    std::string text;
    for (int i = 1; i <= count; i++)
        text += "file" + std::to_string(i) + ".dll\r\n";
    return text + after;
}

TEST(CatalogList, KeepsSixteenNamesAndSaysWhenItLeftMoreOut)
{
    bool cut = true;
    Names sixteen = catalogNames(numberedNames(16, "# done\r\n\r\n"), "x.inf", &cut);
    EXPECT_FALSE(cut);
    ASSERT_EQ(sixteen.size(), 17u);
    EXPECT_EQ(sixteen[15], "file16.dll");
    EXPECT_EQ(sixteen[16], "x.inf");

    Names seventeen = catalogNames(numberedNames(17), "x.inf", &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(seventeen, sixteen);
}

// A last name that runs to the very end of the text still stands on its own,
// and the byte after the text, which is not the text's, stays as it was.
TEST(CatalogList, KeepsToTheBytesItIsGiven)
{
    const std::pair<std::string, Names> cases[] = {
        { "a.dll\r\nwinusbcoinstaller2.dll", { "a.dll", "winusbcoinstaller2.dll", "x.inf" } },
        { "a.dll", { "a.dll", "x.inf" } },
        { "a.dll \t", { "a.dll", "x.inf" } },
    };
    for (const auto &[text, names] : cases) {
        std::vector<char> bytes(text.begin(), text.end());
        bytes.push_back('X');
        catalog_list list;
        ASSERT_EQ(cut_catalog_list(bytes.data(), text.size(), "x.inf", &list), 0);
        EXPECT_EQ(bytes.back(), 'X') << text;
        EXPECT_EQ(Names(list.names, list.names + list.count), names) << text;
        free_catalog_list(&list);
    }
}

// ---- INF string values from outside -----------------------------------------

struct InfStringCase {
    const char *name;
    std::string text;
    size_t size;
    std::string value;
};

class InfString : public testing::TestWithParam<InfStringCase> {};

TEST_P(InfString, CannotLeaveItsQuotesNorItsLine)
{
    const InfStringCase &c = GetParam();
    std::vector<char> buffer(c.size + 1, 'x');
    EXPECT_EQ(inf_string_value(buffer.data(), c.size, c.text.c_str()), c.value.size());
    EXPECT_EQ(std::string(buffer.data()), c.value);
    EXPECT_EQ(buffer[c.size], 'x');  // nothing written past size
}

INSTANTIATE_TEST_SUITE_P(InfStringValue, InfString, testing::Values(
    InfStringCase{ "Plain", "Kelvane DFU", 64, "Kelvane DFU" },
    InfStringCase{ "QuoteDoubled", "the \"best\" one", 64, "the \"\"best\"\" one" },
    InfStringCase{ "LineBreaksBecomeSpaces", "a\"\r\n[Evil]\r\nx", 64, "a\"\"  [Evil]  x" },
    InfStringCase{ "ControlsBecomeSpaces", "a\tb\x7f" "c\x01", 64, "a b c " },
    InfStringCase{ "Utf8Kept", "Ger\xC3\xA4t \xE2\x82\xAC", 64, "Ger\xC3\xA4t \xE2\x82\xAC" },
    InfStringCase{ "CutToTheSize", "0123456789", 5, "0123" },
    InfStringCase{ "CutBeforeACharacter", "ab\xE2\x82\xAC", 5, "ab" },
    InfStringCase{ "CutBeforeADoubledQuote", "abc\"", 5, "abc" },
    InfStringCase{ "Empty", "", 4, "" }),
    [](const testing::TestParamInfo<InfStringCase> &p) { return std::string(p.param.name); });

TEST(InfStringValue, TakesNoTextAndNoBuffer)
{
    char buffer[4] = "xyz";
    EXPECT_EQ(inf_string_value(buffer, sizeof(buffer), nullptr), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(inf_string_value(nullptr, 4, "a"), 0u);
    EXPECT_EQ(inf_string_value(buffer, 0, "a"), 0u);
}

}  // namespace

namespace {

struct MessageCase {
    const char *name;
    std::string bytes;
    bool filter;
    installer_action action;
    int result;
    std::string text;   // the logged text, or the error, as the case says
};

class InstallerMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(InstallerMessage, DecodesByTypeAndLength)
{
    const MessageCase &c = GetParam();
    // On the heap at exactly its length, so that a read past it is caught.
    std::vector<unsigned char> bytes(c.bytes.begin(), c.bytes.end());
    installer_message m;
    decode_installer_message(bytes.empty() ? nullptr : bytes.data(), bytes.size(), c.filter, &m);

    EXPECT_EQ(m.action, c.action);
    EXPECT_EQ(m.result, c.result);
    if (c.action == INSTALLER_ACTION_LOG) {
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(m.text), m.text_length), c.text);
    }
    if (c.action == INSTALLER_ACTION_REFUSE) {
        EXPECT_EQ(std::string(m.error), c.text);
    }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    InstallerMessages, InstallerMessage,
    ::testing::Values(
        MessageCase{ "Progress", "\0hello"s, false, INSTALLER_ACTION_LOG, 0, "hello" },
        MessageCase{ "ProgressToItsZero", "\0hel\0lo"s, false, INSTALLER_ACTION_LOG, 0, "hel" },
        MessageCase{ "ProgressEmptyText", "\0\0"s, false, INSTALLER_ACTION_LOG, 0, "" },
        MessageCase{ "ProgressWithoutText", "\0"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Print_message: no data" },
        MessageCase{ "SetupLog", "\1line"s, false, INSTALLER_ACTION_LOG, 0, "line" },
        MessageCase{ "SetupLogWithoutText", "\1"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Syslog_message: no data" },
        MessageCase{ "AskDeviceId", "\2"s, false, INSTALLER_ACTION_REPLY_DEVICE_ID, 0, "" },
        MessageCase{ "AskHardwareId", "\3"s, false, INSTALLER_ACTION_REPLY_HARDWARE_ID, 0, "" },
        MessageCase{ "AskSid", "\4"s, false, INSTALLER_ACTION_REPLY_USER_SID, 0, "" },
        MessageCase{ "AskWithData", "\4S-1"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Installer message 4 carries 3 unexpected bytes" },
        MessageCase{ "LongStep", "\5"s, false, INSTALLER_ACTION_TIMEOUT_INFINITE, 0, "" },
        MessageCase{ "LongStepEnded", "\6"s, false, INSTALLER_ACTION_TIMEOUT_FINITE, 0, "" },
        MessageCase{ "LongStepWithData", "\6\0"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Installer message 6 carries 1 unexpected bytes" },
        MessageCase{ "StatusZero", "\7\0"s, false, INSTALLER_ACTION_STATUS, 0, "" },
        MessageCase{ "StatusIsSigned", "\7\xFD"s, false, INSTALLER_ACTION_STATUS, -3, "" },
        MessageCase{ "StatusPositive", "\7\x7F"s, false, INSTALLER_ACTION_STATUS, 127, "" },
        MessageCase{ "StatusWithoutByte", "\7"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Set status: no data" },
        MessageCase{ "StatusTooLong", "\7\0\0\0"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Set status: 3 bytes instead of one" },
        MessageCase{ "Finished", "\x08"s, false, INSTALLER_ACTION_FINISHED, 0, "" },
        MessageCase{ "Warning", "\x09restart\0"s, false, INSTALLER_ACTION_LOG, 0, "restart" },
        MessageCase{ "WarningWithoutText", "\x09"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Warning_message: no data" },
        MessageCase{ "UnknownType", "\x0A"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Unrecognized installer message" },
        MessageCase{ "HighType", "\xFFxyz"s, false, INSTALLER_ACTION_REFUSE, -5,
                     "Unrecognized installer message" },
        MessageCase{ "Empty", ""s, false, INSTALLER_ACTION_REFUSE, -2, "Empty installer message" },
        MessageCase{ "FilterEmpty", ""s, true, INSTALLER_ACTION_REFUSE, -2, "Empty installer message" },
        // Console output has no type byte: every byte is text, zeros too.
        MessageCase{ "FilterText", "\7\0x\r\n"s, true, INSTALLER_ACTION_LOG, 0, "\7\0x\r\n"s }),
    [](const auto &tested) { return std::string(tested.param.name); });

TEST(InstallerMessages, FilterTextIsWholeAndLoggedAtInfo)
{
    const unsigned char bytes[] = { 'a', 0, 'b' };
    installer_message m;
    decode_installer_message(bytes, sizeof(bytes), 1, &m);
    EXPECT_EQ(m.text, bytes);
    EXPECT_EQ(m.text_length, 3u);
    EXPECT_EQ(m.level, LOG_INFO);
    EXPECT_STREQ(m.log_name, "install-filter");

    decode_installer_message(reinterpret_cast<const unsigned char *>("\0x"), 2, 0, &m);
    EXPECT_EQ(m.level, LOG_DEBUG);
    EXPECT_STREQ(m.log_name, "installer process");
    decode_installer_message(reinterpret_cast<const unsigned char *>("\1x"), 2, 0, &m);
    EXPECT_STREQ(m.log_name, "syslog");
    // The one that shows with the log's default threshold.
    decode_installer_message(reinterpret_cast<const unsigned char *>("\x09x"), 2, 0, &m);
    EXPECT_EQ(m.level, LOG_WARNING);
    EXPECT_STREQ(m.log_name, "installer process");
}

TEST(InstallerMessages, RelayedTextIsOneCleanLine)
{
    const std::string raw = "one\r\ntwo\x1b[2J\x7f\0end\r\n\n"s;
    std::vector<char> out(raw.size() + 1, '#');
    clean_relayed_text(out.data(), reinterpret_cast<const unsigned char *>(raw.data()), raw.size());
    EXPECT_STREQ(out.data(), "one  two [2J  end");

    char empty[1] = { '#' };
    clean_relayed_text(empty, reinterpret_cast<const unsigned char *>("\r\n"), 0);
    EXPECT_STREQ(empty, "");
    char lineBreaks[3];
    clean_relayed_text(lineBreaks, reinterpret_cast<const unsigned char *>("\r\n"), 2);
    EXPECT_STREQ(lineBreaks, "");
}

}  // namespace
