#include <gtest/gtest.h>

#include "udi/parse.h"

namespace {

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

}  // namespace
