// The self-signed certificate and the signing of a file. The key container,
// the key pairs, the stores and the certificates are Wine's own; recording
// fakes stand in where Wine 8 falls short: SignerSignEx is a stub, it makes
// no SHA-256 self-signed certificate, it never finds the key of a
// certificate whose key lives in a machine key container, and a copy that
// replaces another in a system store keeps the old one's link to its key
// once the store is closed.
//
// This program runs as Windows 10 (CTest's fixture sets that for its name);
// the real signing runs as Windows 7 in a copy of the probe.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/MachineCertificates.h"
#include "support/OpenHandles.h"
#include "support/ReplacedImport.h"
#include "support/StreamCapture.h"
#include "support/TempFolder.h"
#include "udi/internal.h"
#include "udi/sign.h"

using udi_test::deleteKeyContainer;
using udi_test::KeyedCertificate;
using udi_test::keyContainerExists;
using udi_test::makeKeyContainer;
using udi_test::OpenHandles;
using udi_test::removeFromTrustingStores;
using udi_test::storedCopies;
using udi_test::StreamCapture;
using udi_test::TempFolder;
using udi_test::UndeletableKeyContainer;

namespace {

const char *const stores[] = { "Root", "TrustedPublisher" };

std::string bytes(const void *data, size_t size)
{
    return std::string(static_cast<const char *>(data), size);
}

std::string bytes(const CRYPT_DATA_BLOB &blob)
{
    return bytes(blob.pbData, blob.cbData);
}

bool mssign32Loaded()
{
    return GetModuleHandleW(L"mssign32.dll") != nullptr;
}

template <typename Case>
std::string caseName(const testing::TestParamInfo<Case> &p)
{
    return p.param.name;
}

// Handles that Wine 8 itself leaves open: one of the key container's
// registry key each time an existing container is opened (also for making a
// certificate whose key it holds), without a name once the container is
// deleted; and one of a store's key once copies in it were deleted or
// replaced.
const std::wstring wineContainerHandle =
    L"\\REGISTRY\\Machine\\Software\\Wine\\Crypto\\RSA\\libudi key container";
const std::wstring wineGoneContainerHandle = L"(Key)";

std::wstring wineStoreHandle(const char *store)
{
    const std::string name = store;
    return L"\\REGISTRY\\Machine\\Software\\Microsoft\\SystemCertificates\\"
        + std::wstring(name.begin(), name.end());
}

std::vector<std::wstring> sorted(std::vector<std::wstring> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// What a signing leaves: the key gone, and in each store one copy of the
// certificate named "libudi" that does not name the key's container.
void expectSignedState(const std::string &subject)
{
    EXPECT_FALSE(keyContainerExists());
    for (const char *store : stores) {
        const auto copies = storedCopies(store, subject);
        ASSERT_EQ(copies.size(), 1u) << store;
        EXPECT_EQ(copies[0].friendlyName, L"libudi") << store;
        EXPECT_EQ(copies[0].friendlyNameBytes, sizeof(L"libudi")) << store;
        EXPECT_FALSE(copies[0].linkedToKey) << store;
    }
}

// A key that outlives the signing can sign for anything the machine trusts.
void expectNoTrustedCopyWhoseKeyLives(const std::string &subject)
{
    for (const char *store : stores) {
        for (const auto &copy : storedCopies(store, subject))
            EXPECT_FALSE(copy.keyLives) << store;
    }
}

// ---- Recording fakes -------------------------------------------------------

struct Extension {
    std::string identifier;
    bool critical = false;
    std::string value;
};

struct CreateCall {
    int calls = 0;
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE provider = 1;
    std::string subject;
    DWORD flags = 1;
    std::wstring container;
    bool providerNamed = true;
    DWORD providerType = 0, keyFlags = 0, providerParameters = 1, keySpec = 0;
    std::string algorithm;
    DWORD algorithmParameterBytes = 1;
    bool startGiven = true;
    SYSTEMTIME end = {};
    std::vector<Extension> extensions;
};
CreateCall createCall;

PCCERT_CONTEXT WINAPI recordingCreate(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE provider,
                                      PCERT_NAME_BLOB subject, DWORD flags,
                                      PCRYPT_KEY_PROV_INFO key,
                                      PCRYPT_ALGORITHM_IDENTIFIER algorithm, PSYSTEMTIME start,
                                      PSYSTEMTIME end, PCERT_EXTENSIONS extensions)
{
    CreateCall &call = createCall;
    call.calls++;
    call.provider = provider;
    call.subject = bytes(*subject);
    call.flags = flags;
    if (key != nullptr) {
        call.container = key->pwszContainerName != nullptr ? key->pwszContainerName : L"";
        call.providerNamed = key->pwszProvName != nullptr;
        call.providerType = key->dwProvType;
        call.keyFlags = key->dwFlags;
        call.providerParameters = key->cProvParam + (key->rgProvParam != nullptr ? 1 : 0);
        call.keySpec = key->dwKeySpec;
    }
    if (algorithm != nullptr) {
        call.algorithm = algorithm->pszObjId;
        call.algorithmParameterBytes = algorithm->Parameters.cbData;
    }
    call.startGiven = start != nullptr;
    if (end != nullptr)
        call.end = *end;
    for (DWORD i = 0; extensions != nullptr && i < extensions->cExtension; i++) {
        const CERT_EXTENSION &extension = extensions->rgExtension[i];
        call.extensions.push_back({ extension.pszObjId, extension.fCritical != FALSE,
                                    bytes(extension.Value) });
    }
    // Wine makes no SHA-256 self-signed certificate: the rest of the run
    // goes on with a SHA-1 one.
    CRYPT_ALGORITHM_IDENTIFIER sha1 = { const_cast<LPSTR>(szOID_RSA_SHA1RSA), {} };
    return CertCreateSelfSignCertificate(provider, subject, flags, key, &sha1, start, end,
                                         extensions);
}

struct SignCall {
    int calls = 0;
    DWORD flags = 1;
    DWORD subjectSize = 0, index = 99, subjectChoice = 0, fileSize = 0;
    std::wstring path;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD signerSize = 0, certificateChoice = 0, storeInfoSize = 0, policy = 0;
    std::string certificate;
    bool extraStore = true, window = true;
    DWORD signatureSize = 0;
    ALG_ID hash = 0;
    DWORD attributeChoice = 1;
    bool authenticode = true, unauthenticated = true;
    std::vector<std::pair<std::string, std::vector<std::string>>> authenticated;
    bool provider = true, timeStamp = true, request = true, sipData = true, contextAsked = false;
};
SignCall signCall;
HRESULT signAnswer = S_OK;
signer_context fakeSignerContext = { sizeof(signer_context), 0, nullptr };
std::vector<signer_context *> freedSignerContexts;

HRESULT WINAPI recordingSignerSignEx(DWORD flags, signer_subject_info *subject,
                                     signer_cert *certificate, signer_signature_info *signature,
                                     void *provider, LPCWSTR timeStamp, PCRYPT_ATTRIBUTES request,
                                     void *sipData, signer_context **context)
{
    SignCall &call = signCall;
    call.calls++;
    call.flags = flags;
    call.subjectSize = subject->size;
    call.index = subject->index != nullptr ? *subject->index : 99;
    call.subjectChoice = subject->subject_choice;
    call.fileSize = subject->file->size;
    call.path = subject->file->file_name;
    call.file = subject->file->file;
    call.signerSize = certificate->size;
    call.certificateChoice = certificate->certificate_choice;
    call.storeInfoSize = certificate->store_info->size;
    call.certificate = bytes(certificate->store_info->signing_certificate->pbCertEncoded,
                             certificate->store_info->signing_certificate->cbCertEncoded);
    call.policy = certificate->store_info->certificate_policy;
    call.extraStore = certificate->store_info->extra_store != nullptr;
    call.window = certificate->window != nullptr;
    call.signatureSize = signature->size;
    call.hash = signature->hash_algorithm;
    call.attributeChoice = signature->attribute_choice;
    call.authenticode = signature->authenticode_attributes != nullptr;
    call.unauthenticated = signature->unauthenticated != nullptr;
    for (DWORD i = 0; signature->authenticated != nullptr && i < signature->authenticated->cAttr;
         i++) {
        const CRYPT_ATTRIBUTE &attribute = signature->authenticated->rgAttr[i];
        std::vector<std::string> values;
        for (DWORD v = 0; v < attribute.cValue; v++)
            values.push_back(bytes(attribute.rgValue[v]));
        call.authenticated.emplace_back(attribute.pszObjId, values);
    }
    call.provider = provider != nullptr;
    call.timeStamp = timeStamp != nullptr;
    call.request = request != nullptr;
    call.sipData = sipData != nullptr;
    call.contextAsked = context != nullptr;
    if (signAnswer == S_OK && context != nullptr)
        *context = &fakeSignerContext;
    return signAnswer;
}

HRESULT WINAPI recordingFreeSignerContext(signer_context *context)
{
    freedSignerContexts.push_back(context);
    return S_OK;
}

// What Windows does, where Wine 8 opens the container named by the key
// provider information without its CRYPT_MACHINE_KEYSET flag and so never
// finds a machine key.
std::vector<DWORD> keyAcquisitionFlags;

BOOL WINAPI acquireLikeWindows(PCCERT_CONTEXT certificate, DWORD flags, void *,
                               HCRYPTPROV_OR_NCRYPT_KEY_HANDLE *provider, DWORD *keySpec,
                               BOOL *mustFree)
{
    keyAcquisitionFlags.push_back(flags);
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                           &size)) {
        SetLastError(static_cast<DWORD>(CRYPT_E_NO_KEY_PROPERTY));
        return FALSE;
    }
    std::vector<BYTE> buffer(size);
    CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(),
                                      &size);
    const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(buffer.data());
    HCRYPTPROV handle = 0;
    if (!CryptAcquireContextW(&handle, info->pwszContainerName, info->pwszProvName,
                              info->dwProvType, info->dwFlags | CRYPT_SILENT))
        return FALSE;
    *provider = handle;
    *keySpec = info->dwKeySpec;
    *mustFree = TRUE;
    return TRUE;
}

// Fails the given call (1 for the first), hands the others to the system.
int addCalls = 0, failingAdd = 0;

BOOL WINAPI addFailingOnce(HCERTSTORE store, PCCERT_CONTEXT certificate, DWORD disposition,
                           PCCERT_CONTEXT *added)
{
    if (++addCalls == failingAdd) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return CertAddCertificateContextToStore(store, certificate, disposition, added);
}

BOOL WINAPI addEncodedRefused(HCERTSTORE, DWORD, const BYTE *, DWORD, DWORD, PCCERT_CONTEXT *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Hands the replacement to the system and records it, with whether the
// store, while still open, holds a copy without the link to the key.
struct Replacement {
    DWORD encoding = 0;
    std::string certificate;
    DWORD disposition = 0;
    bool keylessInStore = false;
};
std::vector<Replacement> replacements;

BOOL WINAPI recordingAddEncoded(HCERTSTORE store, DWORD encoding, const BYTE *data, DWORD size,
                                DWORD disposition, PCCERT_CONTEXT *added)
{
    PCCERT_CONTEXT own = nullptr;
    PCCERT_CONTEXT *out = added != nullptr ? added : &own;
    const BOOL ok = CertAddEncodedCertificateToStore(store, encoding, data, size, disposition, out);
    Replacement replacement = { encoding, bytes(data, size), disposition, false };
    if (ok && *out != nullptr) {
        PCCERT_CONTEXT held = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                         CERT_FIND_EXISTING, *out, nullptr);
        DWORD propertySize = 0;
        replacement.keylessInStore = held != nullptr
            && !CertGetCertificateContextProperty(held, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                                  &propertySize);
        if (held != nullptr)
            CertFreeCertificateContext(held);
    }
    if (own != nullptr)
        CertFreeCertificateContext(own);
    replacements.push_back(replacement);
    return ok;
}

// ---- A signing that goes through: one run, looked at from several sides -----

const char *const fakeSubject = "CN=Kelvane signing test, O=Ornvale";

class SignThroughFakes : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        removeFromTrustingStores(fakeSubject);
        deleteKeyContainer();
        storedCopies("Root", fakeSubject);  // the first store opening keeps a handle
        storedCopies("TrustedPublisher", fakeSubject);
        // Left over from an earlier run that stopped before its end.
        ASSERT_TRUE(makeKeyContainer());

        folder = new TempFolder;
        catalog = folder->utf8(L"kelvane.cat");
        udi_test::writeFile(folder->wide(L"kelvane.cat"), "catalog");

        system_function_replace("Crypt32", "CertCreateSelfSignCertificate",
                                reinterpret_cast<system_function>(recordingCreate));
        system_function_replace("Crypt32", "CryptAcquireCertificatePrivateKey",
                                reinterpret_cast<system_function>(acquireLikeWindows));
        system_function_replace("MSSign32", "SignerSignEx",
                                reinterpret_cast<system_function>(recordingSignerSignEx));
        system_function_replace("MSSign32", "SignerFreeSignerContext",
                                reinterpret_cast<system_function>(recordingFreeSignerContext));
        system_function_replace("Crypt32", "CertAddEncodedCertificateToStore",
                                reinterpret_cast<system_function>(recordingAddEncoded));
        log_level_threshold = LOG_DEBUG;

        {
            StreamCapture capture;
            const OpenHandles handles;
            result = SelfSignFile(catalog.c_str(), fakeSubject);
            handlesLeft = handles.openedSince();
            capture.finish();
            out = capture.out();
            err = capture.err();
        }
        detect_windows_version();
        detectedVersion = windows_version_code;

        log_level_threshold = LOG_INFO;
        system_function_restore_all();
    }

    static void TearDownTestSuite()
    {
        removeFromTrustingStores(fakeSubject);
        deleteKeyContainer();
        delete folder;
        folder = nullptr;
    }

    static TempFolder *folder;
    static std::string catalog;
    static int result;
    static std::string out, err;
    static std::vector<std::wstring> handlesLeft;
    static int detectedVersion;
};

TempFolder *SignThroughFakes::folder = nullptr;
std::string SignThroughFakes::catalog;
int SignThroughFakes::result = -1;
std::string SignThroughFakes::out, SignThroughFakes::err;
std::vector<std::wstring> SignThroughFakes::handlesLeft;
int SignThroughFakes::detectedVersion = -1;

TEST_F(SignThroughFakes, SignsAndLogsEachStep)
{
    EXPECT_EQ(result, 1);
    const std::string subject = fakeSubject;
    EXPECT_EQ(out, "libudi:info [CreateSelfSignedCert] Created new self-signed certificate '"
                       + subject + "'\n"
                   "libudi:info [SelfSignFile] Successfully signed file '" + catalog + "'\n"
                   "libudi:info [SelfSignFile] Successfully deleted private key\n"
                   "libudi:info [SelfSignFile] Added certificate '" + subject
                       + "' to 'Root' and 'TrustedPublisher' stores\n");
    EXPECT_EQ(err, "libudi:debug [CreateSelfSignedCert] Set Enhanced Key Usage, URL and CPS\n"
                   "libudi:debug [CreateSelfSignedCert] Acquired existing key container\n"
                   "libudi:debug [CreateSelfSignedCert] Generated new keypair...\n"
                   "libudi:debug [SelfSignFile] Successfully created certificate '"
                       + subject + "'\n");
}

TEST_F(SignThroughFakes, MakesTheCertificateWithSha256AboveWindows7)
{
    ASSERT_GT(detectedVersion, 0x61) << "run through CTest: its fixture makes this program "
                                        "Windows 10";
    ASSERT_EQ(createCall.calls, 1);
    EXPECT_EQ(createCall.algorithm, "1.2.840.113549.1.1.11");
    EXPECT_EQ(createCall.algorithmParameterBytes, 0u);

    // The key is found through the provider information alone.
    EXPECT_EQ(createCall.provider, 0u);
    EXPECT_EQ(createCall.flags, 0u);
    EXPECT_EQ(createCall.container, L"libudi key container");
    EXPECT_FALSE(createCall.providerNamed);
    EXPECT_EQ(createCall.providerType, static_cast<DWORD>(PROV_RSA_FULL));
    EXPECT_EQ(createCall.keyFlags, static_cast<DWORD>(CRYPT_MACHINE_KEYSET));
    EXPECT_EQ(createCall.providerParameters, 0u);
    EXPECT_EQ(createCall.keySpec, static_cast<DWORD>(AT_SIGNATURE));

    // Valid from now to 2029-01-01 00:00:00.
    EXPECT_FALSE(createCall.startGiven);
    const SYSTEMTIME &end = createCall.end;
    EXPECT_EQ(std::vector<int>({ end.wYear, end.wMonth, end.wDayOfWeek, end.wDay, end.wHour,
                                 end.wMinute, end.wSecond, end.wMilliseconds }),
              std::vector<int>({ 2029, 1, 1, 1, 0, 0, 0, 0 }));

    // Subject and issuer: the caller's X.500 text.
    const auto copies = storedCopies("Root", fakeSubject);
    ASSERT_EQ(copies.size(), 1u);
    PCCERT_CONTEXT stored = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE *>(copies[0].encoded.data()),
        static_cast<DWORD>(copies[0].encoded.size()));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(bytes(stored->pCertInfo->Subject), createCall.subject);
    EXPECT_EQ(bytes(stored->pCertInfo->Issuer), createCall.subject);
    EXPECT_EQ(CertGetPublicKeyLength(X509_ASN_ENCODING, &stored->pCertInfo->SubjectPublicKeyInfo),
              4096u);
    CertFreeCertificateContext(stored);
}

// The extension values, read back by Wine's own decoder.
TEST_F(SignThroughFakes, GivesTheCertificateItsThreeExtensions)
{
    ASSERT_EQ(createCall.extensions.size(), 3u);
    const Extension &usage = createCall.extensions[0];
    const Extension &name = createCall.extensions[1];
    const Extension &policies = createCall.extensions[2];
    EXPECT_EQ(usage.identifier, "2.5.29.37");
    EXPECT_TRUE(usage.critical);
    EXPECT_EQ(name.identifier, "2.5.29.7");
    EXPECT_FALSE(name.critical);
    EXPECT_EQ(policies.identifier, "2.5.29.32");
    EXPECT_FALSE(policies.critical);

    auto decode = [](LPCSTR type, const std::string &value) {
        DWORD size = 0;
        const auto *data = reinterpret_cast<const BYTE *>(value.data());
        const auto length = static_cast<DWORD>(value.size());
        std::vector<BYTE> record;
        if (CryptDecodeObject(X509_ASN_ENCODING, type, data, length, 0, nullptr, &size)) {
            record.resize(size);
            if (!CryptDecodeObject(X509_ASN_ENCODING, type, data, length, 0, record.data(),
                                   &size))
                record.clear();
        }
        return record;
    };

    const auto usageRecord = decode(X509_ENHANCED_KEY_USAGE, usage.value);
    ASSERT_FALSE(usageRecord.empty());
    const auto *usages = reinterpret_cast<const CERT_ENHKEY_USAGE *>(usageRecord.data());
    ASSERT_EQ(usages->cUsageIdentifier, 1u);
    EXPECT_STREQ(usages->rgpszUsageIdentifier[0], "1.3.6.1.5.5.7.3.3");

    const auto nameRecord = decode(X509_ALTERNATE_NAME, name.value);
    ASSERT_FALSE(nameRecord.empty());
    const auto *names = reinterpret_cast<const CERT_ALT_NAME_INFO *>(nameRecord.data());
    ASSERT_EQ(names->cAltEntry, 1u);
    EXPECT_EQ(names->rgAltEntry[0].dwAltNameChoice, static_cast<DWORD>(CERT_ALT_NAME_RFC822_NAME));
    EXPECT_STREQ(names->rgAltEntry[0].pwszRfc822Name,
                 L"Made by the driver library of the Kelvane Firmware Updater to sign a driver "
                 L"package (https://help.ornvale.com/hc/kelvane)");

    const auto policyRecord = decode(X509_CERT_POLICIES, policies.value);
    ASSERT_FALSE(policyRecord.empty());
    const auto *policyList = reinterpret_cast<const CERT_POLICIES_INFO *>(policyRecord.data());
    ASSERT_EQ(policyList->cPolicyInfo, 1u);
    const CERT_POLICY_INFO &policy = policyList->rgPolicyInfo[0];
    EXPECT_STREQ(policy.pszPolicyIdentifier, "1.3.6.1.5.5.7.2.1");
    ASSERT_EQ(policy.cPolicyQualifier, 1u);
    EXPECT_STREQ(policy.rgPolicyQualifier[0].pszPolicyQualifierId, "1.3.6.1.5.5.7.2.1");

    const auto valueRecord = decode(X509_NAME_VALUE, bytes(policy.rgPolicyQualifier[0].Qualifier));
    ASSERT_FALSE(valueRecord.empty());
    const auto *address = reinterpret_cast<const CERT_NAME_VALUE *>(valueRecord.data());
    EXPECT_EQ(address->dwValueType, static_cast<DWORD>(CERT_RDN_IA5_STRING));
    // Its terminating zero goes in with it.
    EXPECT_EQ(bytes(address->Value),
              std::string("https://help.ornvale.com/hc/kelvane/certification-practice", 59));
}

TEST_F(SignThroughFakes, HandsSignerSignExTheFileTheCertificateAndTheTwoAttributes)
{
    ASSERT_EQ(signCall.calls, 1);
    EXPECT_EQ(signCall.flags, 0u);

    // The file by its UTF-16 path, no handle, index 0; the sizes are those
    // of the system's 64-bit records.
    EXPECT_EQ(signCall.subjectSize, 32u);
    EXPECT_EQ(signCall.index, 0u);
    EXPECT_EQ(signCall.subjectChoice, 1u);
    EXPECT_EQ(signCall.fileSize, 24u);
    EXPECT_EQ(signCall.path, folder->wide(L"kelvane.cat"));
    EXPECT_EQ(signCall.file, nullptr);

    // The new certificate from "store", its chain, no extra store.
    EXPECT_EQ(signCall.signerSize, 24u);
    EXPECT_EQ(signCall.certificateChoice, 2u);
    EXPECT_EQ(signCall.storeInfoSize, 32u);
    EXPECT_EQ(signCall.policy, 2u);
    EXPECT_FALSE(signCall.extraStore);
    EXPECT_FALSE(signCall.window);
    const auto copies = storedCopies("TrustedPublisher", fakeSubject);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(signCall.certificate, copies[0].encoded);

    EXPECT_EQ(signCall.signatureSize, 40u);
    EXPECT_EQ(signCall.hash, static_cast<ALG_ID>(0x800C));
    EXPECT_EQ(signCall.attributeChoice, 0u);
    EXPECT_FALSE(signCall.authenticode);
    EXPECT_FALSE(signCall.unauthenticated);
    using Attributes = std::vector<std::pair<std::string, std::vector<std::string>>>;
    EXPECT_EQ(signCall.authenticated,
              (Attributes{ { "1.3.6.1.4.1.311.2.1.12", { std::string("\x30\x00", 2) } },
                           { "1.3.6.1.4.1.311.2.1.11",
                             { std::string("\x30\x0C\x06\x0A\x2B\x06\x01\x04\x01\x82\x37\x02\x01"
                                           "\x15", 14) } } }));

    EXPECT_FALSE(signCall.provider);
    EXPECT_FALSE(signCall.timeStamp);
    EXPECT_FALSE(signCall.request);
    EXPECT_FALSE(signCall.sipData);
    EXPECT_TRUE(signCall.contextAsked);
}

// The key goes before the stores take the certificate: their copies never
// name its container.
TEST_F(SignThroughFakes, DeletesTheKeyAndLeavesKeylessCopies)
{
    expectSignedState(fakeSubject);
    EXPECT_EQ(keyAcquisitionFlags, std::vector<DWORD>({ 0x40 }));
}

TEST_F(SignThroughFakes, FreesWhatItTook)
{
    // The left-over container opened, the certificate made for it, and its
    // key provider had.
    EXPECT_EQ(handlesLeft, sorted({ wineGoneContainerHandle, wineGoneContainerHandle,
                                    wineGoneContainerHandle }));
    EXPECT_EQ(freedSignerContexts, std::vector<signer_context *>({ &fakeSignerContext }));
    EXPECT_FALSE(mssign32Loaded());
}

// ---- Signings that fail ------------------------------------------------------

class SignFailure : public testing::Test {
protected:
    void SetUp() override
    {
        removeFromTrustingStores(subject);
        deleteKeyContainer();
        udi_test::writeFile(folder.wide(L"kelvane.cat"), "catalog");
        catalog = folder.utf8(L"kelvane.cat");
        createCall = {};
        signCall = {};
        system_function_replace("Crypt32", "CertCreateSelfSignCertificate",
                                reinterpret_cast<system_function>(recordingCreate));
        system_function_replace("Crypt32", "CryptAcquireCertificatePrivateKey",
                                reinterpret_cast<system_function>(acquireLikeWindows));
        system_function_replace("MSSign32", "SignerSignEx",
                                reinterpret_cast<system_function>(recordingSignerSignEx));
    }

    void TearDown() override
    {
        system_function_restore_all();
        removeFromTrustingStores(subject);
        deleteKeyContainer();
    }

    const std::string subject = "CN=Kelvane signing failure test";
    TempFolder folder;
    std::string catalog;
};

class StoreAddFailure : public SignFailure, public testing::WithParamInterface<int> {};

// Whichever store refuses, the file counts as unsigned, as its signer is
// not trusted; the key went before, and a store that took the certificate
// keeps a key-less copy.
TEST_P(StoreAddFailure, ReportsTheFileUnsignedWithTheKeyGone)
{
    addCalls = 0;
    failingAdd = GetParam();
    system_function_replace("Crypt32", "CertAddCertificateContextToStore",
                            reinterpret_cast<system_function>(addFailingOnce));

    StreamCapture capture;
    EXPECT_EQ(SelfSignFile(catalog.c_str(), subject.c_str()), 0);
    capture.finish();

    EXPECT_EQ(signCall.calls, 1);
    EXPECT_EQ(capture.err(), std::string("libudi:warning [AddCertToStore] Failed to add "
                                         "certificate to system store '")
                                 + stores[failingAdd - 1] + "': [#00000005] Access denied.\n");
    EXPECT_EQ(capture.out(), "libudi:info [CreateSelfSignedCert] Created new self-signed "
                             "certificate '" + subject + "'\n"
                             "libudi:info [SelfSignFile] Successfully signed file '" + catalog
                                 + "'\n"
                             "libudi:info [SelfSignFile] Successfully deleted private key\n");
    EXPECT_FALSE(keyContainerExists());
    const auto rootCopies = storedCopies("Root", subject);
    ASSERT_EQ(rootCopies.size(), failingAdd == 1 ? 0u : 1u);
    for (const auto &copy : rootCopies)
        EXPECT_FALSE(copy.linkedToKey);
    EXPECT_TRUE(storedCopies("TrustedPublisher", subject).empty());
}

INSTANTIATE_TEST_SUITE_P(SignFailure, StoreAddFailure, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int> &p) {
                             return std::string(stores[p.param - 1]);
                         });

TEST_F(SignFailure, ASubjectThatIsNotX500TextStopsAtItsEncoding)
{
    StreamCapture capture;
    EXPECT_EQ(SelfSignFile(catalog.c_str(), "Kelvane, not a name"), 0);
    capture.finish();

    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(),
              "libudi:warning [RemoveCertFromStore] Failed to encode'Kelvane, not a name': "
              "Invalid string.\n"
              "libudi:warning [RemoveCertFromStore] Failed to encode'Kelvane, not a name': "
              "Invalid string.\n"
              "libudi:warning [CreateSelfSignedCert] Could not encode subject name for self "
              "signed cert: Invalid string.\n");
    EXPECT_EQ(createCall.calls, 0);
    // The key pair was made before the subject was read: without its
    // certificate it goes again, and nothing goes into a store.
    EXPECT_FALSE(keyContainerExists());
}

// The library calls CryptGenKey directly: the test reaches it through the
// program's import of it.
int keyGenerations = 0;

BOOL WINAPI keyGenerationFails(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY *key)
{
    keyGenerations++;
    *key = 0;
    SetLastError(static_cast<DWORD>(NTE_FAIL));
    return FALSE;
}

class KeyPairFailure : public SignFailure, public testing::WithParamInterface<bool> {};

// Neither a container made for the key nor a left-over one, with whatever
// key an earlier run left in it, outlives a key pair that was not made.
TEST_P(KeyPairFailure, LeavesNoKeyContainer)
{
    const bool leftOver = GetParam();
    if (leftOver) {
        ASSERT_TRUE(makeKeyContainer());
    }
    keyGenerations = 0;
    const udi_test::ReplacedImport generation("advapi32.dll", "CryptGenKey",
                                              reinterpret_cast<const void *>(keyGenerationFails));
    ASSERT_TRUE(generation.active());

    log_level_threshold = LOG_DEBUG;
    StreamCapture capture;
    EXPECT_EQ(SelfSignFile(catalog.c_str(), subject.c_str()), 0);
    capture.finish();
    log_level_threshold = LOG_INFO;

    EXPECT_EQ(keyGenerations, 1);
    EXPECT_EQ(createCall.calls, 0);
    EXPECT_EQ(signCall.calls, 0);
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(),
              std::string("libudi:debug [CreateSelfSignedCert] Set Enhanced Key Usage, URL and "
                          "CPS\n")
                  + (leftOver ? "libudi:debug [CreateSelfSignedCert] Acquired existing key "
                                "container\n"
                              : "libudi:debug [CreateSelfSignedCert] Created new key container\n")
                  + "libudi:debug [CreateSelfSignedCert] Could not generate keypair: Unknown PKI "
                    "error 0x80090020\n");
    EXPECT_FALSE(keyContainerExists());
    for (const char *store : stores)
        EXPECT_TRUE(storedCopies(store, subject).empty()) << store;
}

INSTANTIATE_TEST_SUITE_P(SignFailure, KeyPairFailure, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &p) {
                             return std::string(p.param ? "LeftOverContainer" : "NewContainer");
                         });

// A key that outlives the signing must not be trusted: its certificate stays
// out of the stores, and the file it signed counts as unsigned, as nothing
// trusts its signer.
TEST_F(SignFailure, AKeyThatCannotBeDeletedIsNeverTrusted)
{
    UndeletableKeyContainer keeper;
    ASSERT_TRUE(keeper.held());
    StreamCapture capture;
    EXPECT_EQ(SelfSignFile(catalog.c_str(), subject.c_str()), 0);
    capture.finish();

    EXPECT_EQ(signCall.calls, 1);
    EXPECT_EQ(capture.out(), "libudi:info [CreateSelfSignedCert] Created new self-signed "
                             "certificate '" + subject + "'\n"
                             "libudi:info [SelfSignFile] Successfully signed file '" + catalog
                                 + "'\n");
    EXPECT_EQ(capture.err(), "libudi:warning [DeletePrivateKey] Failed to delete private key: The "
                             "key container could not be opened.\n"
                             "libudi:warning [SelfSignFile] Not adding certificate '" + subject
                                 + "' to 'Root' and 'TrustedPublisher' stores, as its private key "
                                   "could not be deleted\n");
    for (const char *store : stores)
        EXPECT_TRUE(storedCopies(store, subject).empty()) << store;
}

// ---- The two stores ---------------------------------------------------------

HCERTSTORE WINAPI openRefused(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

BOOL WINAPI addContextRefused(HCERTSTORE, PCCERT_CONTEXT, DWORD, PCCERT_CONTEXT *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI setPropertyRefused(PCCERT_CONTEXT, DWORD, DWORD, const void *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A copy that cannot go, as one of a read-only part of a store; after a few
// refusals it gives in, so that a search that never ends still ends.
int deleteCalls = 0;

BOOL WINAPI deleteRefused(PCCERT_CONTEXT certificate)
{
    if (++deleteCalls > 3)
        return CertDeleteCertificateFromStore(certificate);
    CertFreeCertificateContext(certificate);  // as the system's does, also when it fails
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

class CertificateStores : public testing::Test {
protected:
    void SetUp() override
    {
        removeFromTrustingStores(subject);
        removeFromTrustingStores(otherSubject);
    }

    void TearDown() override
    {
        system_function_restore_all();
        removeFromTrustingStores(subject);
        removeFromTrustingStores(otherSubject);
        deleteKeyContainer();
    }

    const std::string subject = "CN=Kelvane store test";
    const std::string otherSubject = "CN=Kelvane store test, O=Someone else";
};

TEST_F(CertificateStores, AddPutsInOneCopyNamedLibudi)
{
    KeyedCertificate certificate(subject);
    ASSERT_NE(certificate.get(), nullptr);
    AddCertToStore(certificate.get(), "TrustedPublisher");  // loads what stays loaded
    const OpenHandles handles;

    EXPECT_TRUE(AddCertToStore(certificate.get(), "Root"));
    EXPECT_TRUE(AddCertToStore(certificate.get(), "Root"));  // replaces its own copy

    EXPECT_EQ(handles.openedSince(), std::vector<std::wstring>({ wineStoreHandle("Root") }));
    const auto copies = storedCopies("Root", subject);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].friendlyName, L"libudi");
    EXPECT_EQ(copies[0].friendlyNameBytes, sizeof(L"libudi"));
}

TEST_F(CertificateStores, RemoveDeletesEveryCopyOfTheSubjectAndNoOther)
{
    KeyedCertificate first(subject), second(subject), other(otherSubject);
    for (const KeyedCertificate *certificate : { &first, &second, &other })
        ASSERT_TRUE(AddCertToStore(certificate->get(), "Root"));
    ASSERT_EQ(storedCopies("Root", subject).size(), 2u);
    StreamCapture capture;
    const OpenHandles handles;
    EXPECT_TRUE(RemoveCertFromStore(subject.c_str(), "Root"));
    EXPECT_TRUE(RemoveCertFromStore(subject.c_str(), "TrustedPublisher"));  // holds none
    const std::vector<std::wstring> opened = handles.openedSince();
    capture.finish();

    EXPECT_EQ(opened, std::vector<std::wstring>({ wineStoreHandle("Root") }));
    const std::string deleted = "libudi:info [RemoveCertFromStore] Deleted existing certificate '"
                                + subject + "' from 'Root' store\n";
    EXPECT_EQ(capture.out(), deleted + deleted);
    EXPECT_EQ(capture.err(), "");
    EXPECT_TRUE(storedCopies("Root", subject).empty());
    EXPECT_EQ(storedCopies("Root", otherSubject).size(), 1u);
}

TEST_F(CertificateStores, ACopyThatCannotBeDeletedEndsTheSearch)
{
    KeyedCertificate certificate(subject);
    ASSERT_TRUE(AddCertToStore(certificate.get(), "Root"));
    deleteCalls = 0;
    system_function_replace("Crypt32", "CertDeleteCertificateFromStore",
                            reinterpret_cast<system_function>(deleteRefused));
    StreamCapture capture;
    const OpenHandles handles;
    EXPECT_TRUE(RemoveCertFromStore(subject.c_str(), "Root"));
    const std::vector<std::wstring> opened = handles.openedSince();
    capture.finish();

    EXPECT_EQ(deleteCalls, 1);
    EXPECT_EQ(opened, std::vector<std::wstring>());
    EXPECT_EQ(capture.err(), "libudi:warning [RemoveCertFromStore] Could not delete certificate '"
                             + subject + "' from 'Root' store: [#00000005] Access denied.\n");
}

struct StoreFailureCase {
    const char *name;
    const char *function;           // replaced by fake; nullptr: nothing replaced
    system_function fake;
    bool adding;                    // AddCertToStore, else RemoveCertFromStore
    const char *subject;
    const char *expected;
};

class StoreFailure : public CertificateStores,
                     public testing::WithParamInterface<StoreFailureCase> {};

TEST_P(StoreFailure, FailsWithItsWarningAndFreesWhatItTook)
{
    const StoreFailureCase &c = GetParam();
    KeyedCertificate certificate(c.subject);
    if (c.adding) {
        ASSERT_NE(certificate.get(), nullptr);
    }
    if (c.function != nullptr)
        system_function_replace("Crypt32", c.function, c.fake);
    StreamCapture capture;
    const OpenHandles handles;
    const int result = c.adding ? AddCertToStore(certificate.get(), "Root")
                                : RemoveCertFromStore(c.subject, "Root");
    const std::vector<std::wstring> opened = handles.openedSince();
    capture.finish();

    EXPECT_EQ(result, 0);
    EXPECT_EQ(opened, std::vector<std::wstring>());
    EXPECT_EQ(capture.err(), c.expected);
    EXPECT_EQ(capture.out(), "");
    if (c.adding) {
        EXPECT_TRUE(storedCopies("Root", c.subject).empty());
    }
}

const StoreFailureCase storeFailures[] = {
    { "AddOpen", "CertOpenStore", reinterpret_cast<system_function>(openRefused), true,
      "CN=Kelvane store test",
      "libudi:warning [AddCertToStore] Failed to open system store 'Root': [#00000005] Access "
      "denied.\n" },
    { "AddName", "CertSetCertificateContextProperty",
      reinterpret_cast<system_function>(setPropertyRefused), true, "CN=Kelvane store test",
      "libudi:warning [AddCertToStore] Could not set friendly name: [#00000005] Access denied.\n" },
    { "AddCopy", "CertAddCertificateContextToStore",
      reinterpret_cast<system_function>(addContextRefused), true,
      "CN=Kelvane store test",
      "libudi:warning [AddCertToStore] Failed to add certificate to system store 'Root': "
      "[#00000005] Access denied.\n" },
    { "RemoveOpen", "CertOpenStore", reinterpret_cast<system_function>(openRefused), false,
      "CN=Kelvane store test",
      "libudi:warning [RemoveCertFromStore] failed to open system store 'Root': [#00000005] "
      "Access denied.\n" },
    { "RemoveSubject", nullptr, nullptr, false, "Kelvane, not a name",
      "libudi:warning [RemoveCertFromStore] Failed to encode'Kelvane, not a name': Invalid "
      "string.\n" },
};

INSTANTIATE_TEST_SUITE_P(CertificateStores, StoreFailure, testing::ValuesIn(storeFailures),
                         caseName<StoreFailureCase>);

// ---- Deleting the key ---------------------------------------------------------

struct KeyDeletionCase {
    const char *name;
    bool keyProviderLikeWindows;   // else Wine's own, which finds no machine key
    bool containerUndeletable;
    const char *missing;           // a Crypt32 function that cannot be bound
    const char *refused;           // a Crypt32 function that answers "access denied"
    system_function refusal;
    int result;
    const char *expected;          // standard error
    bool containerLeft;
    size_t copiesLeft;             // in each store
    size_t keylessReplacements;
    std::vector<std::wstring> wineLeftovers;
    // Neither the key nor the copies could go: the one way out that leaves
    // a trusted certificate whose key lives, and it is reported.
    bool trustedKeyLeft = false;
};

void PrintTo(const KeyDeletionCase &c, std::ostream *out)
{
    *out << c.name;
}

class KeyDeletion : public testing::TestWithParam<KeyDeletionCase> {
protected:
    void SetUp() override { removeFromTrustingStores(subject); }

    void TearDown() override
    {
        system_function_restore_all();
        removeFromTrustingStores(subject);
        deleteKeyContainer();
    }

    const std::string subject = "CN=Kelvane key deletion test";
};

// From where a signing stands before the key goes: copies in both stores
// that lead to the key in the container.
TEST_P(KeyDeletion, LeavesNoTrustedCertificateWhoseKeyLives)
{
    const KeyDeletionCase &c = GetParam();
    KeyedCertificate certificate(subject);
    ASSERT_NE(certificate.get(), nullptr);
    for (const char *store : stores) {
        ASSERT_TRUE(AddCertToStore(certificate.get(), store));
        ASSERT_TRUE(storedCopies(store, subject).at(0).keyLives);
    }
    std::unique_ptr<UndeletableKeyContainer> keeper;
    if (c.containerUndeletable) {
        keeper = std::make_unique<UndeletableKeyContainer>();
        ASSERT_TRUE(keeper->held());
    }
    keyAcquisitionFlags.clear();
    replacements.clear();
    if (c.keyProviderLikeWindows)
        system_function_replace("Crypt32", "CryptAcquireCertificatePrivateKey",
                                reinterpret_cast<system_function>(acquireLikeWindows));
    system_function_replace("Crypt32", "CertAddEncodedCertificateToStore",
                            reinterpret_cast<system_function>(recordingAddEncoded));
    if (c.refused != nullptr)
        system_function_replace("Crypt32", c.refused, c.refusal);
    if (c.missing != nullptr)
        system_function_hide("Crypt32", c.missing);
    StreamCapture capture;
    const OpenHandles handles;
    EXPECT_EQ(DeletePrivateKey(certificate.get()), c.result);
    const std::vector<std::wstring> opened = handles.openedSince();
    capture.finish();

    EXPECT_EQ(opened, sorted(c.wineLeftovers));
    EXPECT_EQ(capture.err(), c.expected);
    EXPECT_EQ(capture.out(), "");
    if (c.keyProviderLikeWindows) {
        EXPECT_EQ(keyAcquisitionFlags, std::vector<DWORD>({ 0x40 }));
    }
    ASSERT_EQ(replacements.size(), c.keylessReplacements);
    for (const Replacement &replacement : replacements) {
        EXPECT_EQ(replacement.disposition, static_cast<DWORD>(CERT_STORE_ADD_REPLACE_EXISTING));
        EXPECT_TRUE(replacement.keylessInStore);
    }
    keeper.reset();
    EXPECT_EQ(keyContainerExists(), c.containerLeft);
    for (const char *store : stores) {
        const auto copies = storedCopies(store, subject);
        ASSERT_EQ(copies.size(), c.copiesLeft) << store;
        for (const auto &copy : copies) {
            EXPECT_EQ(copy.friendlyName, L"libudi") << store;
            EXPECT_EQ(copy.keyLives, c.trustedKeyLeft) << store;
        }
    }
}

#define DELETION_LINE(level, text) "libudi:" level " [DeletePrivateKey] " text "\n"
#define ACCESS_DENIED "[#00000005] Access denied."
#define NOT_FOUND "[#0000007F] Procedure not found."
#define CONTAINER_KEPT \
    DELETION_LINE("warning", "Failed to delete private key: The key container could not be " \
                             "opened.")
#define UPDATE_FAILED(store, why) DELETION_LINE("warning", "Failed to update '" store "': " why)
#define REMOVED(store) \
    DELETION_LINE("warning", "Removed the certificate from '" store "' store, as its private " \
                             "key could not be deleted")
#define NOT_REMOVED(store, why) \
    DELETION_LINE("warning", "Could not remove the certificate from '" store "' store: " why)
#define MISSING_HERE(function) \
    DELETION_LINE("error", "Unable to locate " function "() in Crypt32\n")

const system_function refuseAddEncoded = reinterpret_cast<system_function>(addEncodedRefused);
const system_function refuseOpen = reinterpret_cast<system_function>(openRefused);

const KeyDeletionCase keyDeletions[] = {
    // Wine leaves the handle of the key provider had, and those of the two
    // stores whose copies were replaced.
    { "Deleted", true, false, nullptr, nullptr, nullptr, 1, "", false, 1, 2,
      { wineGoneContainerHandle, wineStoreHandle("Root"), wineStoreHandle("TrustedPublisher") } },
    // Wine's own: that the provider cannot be had does not keep the key.
    { "KeyProviderNotFound", false, false, nullptr, nullptr, nullptr, 0,
      DELETION_LINE("warning", "Error getting CSP: Private key or certificate issue"), false, 1,
      2, { wineStoreHandle("Root"), wineStoreHandle("TrustedPublisher") } },
    { "KeyProviderFunctionMissing", false, false, "CryptAcquireCertificatePrivateKey", nullptr,
      nullptr, 0, MISSING_HERE("CryptAcquireCertificatePrivateKey"), false, 1, 2,
      { wineStoreHandle("Root"), wineStoreHandle("TrustedPublisher") } },
    { "ContainerKept", true, true, nullptr, nullptr, nullptr, 0,
      CONTAINER_KEPT REMOVED("Root") REMOVED("TrustedPublisher"), true, 0, 0,
      { wineContainerHandle, wineStoreHandle("Root"), wineStoreHandle("TrustedPublisher") } },
    // The copies name a container that is gone.
    { "CopiesNotReplaced", true, false, nullptr, "CertAddEncodedCertificateToStore",
      refuseAddEncoded, 1,
      UPDATE_FAILED("Root", ACCESS_DENIED) UPDATE_FAILED("TrustedPublisher", ACCESS_DENIED),
      false, 1, 0, { wineGoneContainerHandle } },
    { "StoresNotOpenedAgain", true, false, nullptr, "CertOpenStore", refuseOpen, 0,
      UPDATE_FAILED("Root", ACCESS_DENIED) UPDATE_FAILED("TrustedPublisher", ACCESS_DENIED),
      false, 1, 0, { wineGoneContainerHandle } },
    { "StoreFunctionMissing", true, false, "CertOpenStore", nullptr, nullptr, 0,
      MISSING_HERE("CertOpenStore") UPDATE_FAILED("Root", NOT_FOUND)
          UPDATE_FAILED("TrustedPublisher", NOT_FOUND),
      false, 1, 0, { wineGoneContainerHandle } },
    { "CopyFunctionMissing", true, false, "CertAddEncodedCertificateToStore", nullptr, nullptr,
      0,
      MISSING_HERE("CertAddEncodedCertificateToStore") UPDATE_FAILED("Root", NOT_FOUND)
          UPDATE_FAILED("TrustedPublisher", NOT_FOUND),
      false, 1, 0, { wineGoneContainerHandle } },
    // What the removal does not need does not keep it from being done.
    { "ContainerKeptCopyFunctionMissing", true, true, "CertAddEncodedCertificateToStore",
      nullptr, nullptr, 0,
      MISSING_HERE("CertAddEncodedCertificateToStore") CONTAINER_KEPT REMOVED("Root")
          REMOVED("TrustedPublisher"),
      true, 0, 0,
      { wineContainerHandle, wineStoreHandle("Root"), wineStoreHandle("TrustedPublisher") } },
    { "ContainerKeptStoresNotOpenedAgain", true, true, nullptr, "CertOpenStore", refuseOpen, 0,
      CONTAINER_KEPT NOT_REMOVED("Root", ACCESS_DENIED)
          NOT_REMOVED("TrustedPublisher", ACCESS_DENIED),
      true, 1, 0, { wineContainerHandle }, true },
    { "ContainerKeptRemovalMissing", true, true, "CertDeleteCertificateFromStore", nullptr,
      nullptr, 0,
      MISSING_HERE("CertDeleteCertificateFromStore") CONTAINER_KEPT
          NOT_REMOVED("Root", NOT_FOUND) NOT_REMOVED("TrustedPublisher", NOT_FOUND),
      true, 1, 0, { wineContainerHandle }, true },
};

INSTANTIATE_TEST_SUITE_P(KeyDeletion, KeyDeletion, testing::ValuesIn(keyDeletions),
                         caseName<KeyDeletionCase>);

// ---- What is missing, or wrong, before anything is made -----------------------

LPCSTR failingEncoding = nullptr;

BOOL WINAPI encodeFailingFor(DWORD encoding, LPCSTR type, const void *value, BYTE *out,
                             DWORD *size)
{
    if (type == failingEncoding) {
        SetLastError(static_cast<DWORD>(CRYPT_E_BAD_ENCODE));
        return FALSE;
    }
    return CryptEncodeObject(encoding, type, value, out, size);
}

struct EarlyFailureCase {
    const char *name;
    bool whole;                     // SelfSignFile, else CreateSelfSignedCert
    const char *module;
    const char *hidden;             // a function that is missing, or
    LPCSTR encoding;                // an encoding that fails
    const char *expected;
};

class SignBinding : public testing::TestWithParam<EarlyFailureCase> {
protected:
    void SetUp() override
    {
        deleteKeyContainer();
        udi_test::writeFile(folder.wide(L"kelvane.cat"), "catalog");
    }

    void TearDown() override
    {
        system_function_restore_all();
        deleteKeyContainer();
    }

    TempFolder folder;
};

TEST_P(SignBinding, FailsBeforeMakingAnything)
{
    const EarlyFailureCase &c = GetParam();
    if (c.hidden != nullptr) {
        system_function_hide(c.module, c.hidden);
    } else {
        failingEncoding = c.encoding;
        system_function_replace("Crypt32", "CryptEncodeObject",
                                reinterpret_cast<system_function>(encodeFailingFor));
    }
    const std::string catalog = folder.utf8(L"kelvane.cat");
    StreamCapture capture;
    const OpenHandles handles;
    if (c.whole)
        EXPECT_EQ(SelfSignFile(catalog.c_str(), "CN=Kelvane binding test"), 0);
    else
        EXPECT_EQ(CreateSelfSignedCert("CN=Kelvane binding test"), nullptr);
    const std::vector<std::wstring> opened = handles.openedSince();
    capture.finish();

    EXPECT_EQ(capture.err(), c.expected);
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(opened, std::vector<std::wstring>());
    EXPECT_FALSE(keyContainerExists());
    EXPECT_FALSE(mssign32Loaded());
}

#define MISSING(caller, function, module) \
    "libudi:error [" caller "] Unable to locate " function "() in " module "\n\n"
#define ENCODING_FAILED(what) \
    "libudi:warning [CreateSelfSignedCert] " what ": An error occurred during encode or decode " \
    "operation.\n"

const EarlyFailureCase earlyFailures[] = {
    { "SignerSignEx", true, "MSSign32", "SignerSignEx", nullptr,
      MISSING("SelfSignFile", "SignerSignEx", "MSSign32") },
    { "SignerFreeSignerContext", true, "MSSign32", "SignerFreeSignerContext", nullptr,
      MISSING("SelfSignFile", "SignerFreeSignerContext", "MSSign32") },
    { "CertFreeCertificateContext", true, "Crypt32", "CertFreeCertificateContext", nullptr,
      MISSING("SelfSignFile", "CertFreeCertificateContext", "Crypt32") },
    { "CertCloseStore", true, "Crypt32", "CertCloseStore", nullptr,
      MISSING("SelfSignFile", "CertCloseStore", "Crypt32") },
    { "CryptEncodeObject", false, "Crypt32", "CryptEncodeObject", nullptr,
      MISSING("CreateSelfSignedCert", "CryptEncodeObject", "Crypt32") },
    { "CertStrToNameA", false, "Crypt32", "CertStrToNameA", nullptr,
      MISSING("CreateSelfSignedCert", "CertStrToNameA", "Crypt32") },
    { "CertCreateSelfSignCertificate", false, "Crypt32", "CertCreateSelfSignCertificate", nullptr,
      MISSING("CreateSelfSignedCert", "CertCreateSelfSignCertificate", "Crypt32") },
    { "CertFreeCertificateContextForTheCertificate", false, "Crypt32",
      "CertFreeCertificateContext", nullptr,
      MISSING("CreateSelfSignedCert", "CertFreeCertificateContext", "Crypt32") },
    { "KeyUsageEncoding", false, nullptr, nullptr, X509_ENHANCED_KEY_USAGE,
      ENCODING_FAILED("Could not setup EKU for code signing") },
    { "AlternativeNameEncoding", false, nullptr, nullptr, X509_ALTERNATE_NAME,
      ENCODING_FAILED("Could not set Alt Name") },
    { "PracticeAddressEncoding", false, nullptr, nullptr, X509_NAME_VALUE,
      ENCODING_FAILED("Could not setup CPS") },
    { "PoliciesEncoding", false, nullptr, nullptr, X509_CERT_POLICIES,
      ENCODING_FAILED("Could not setup Certificate Policies") },
};

INSTANTIATE_TEST_SUITE_P(SignBinding, SignBinding, testing::ValuesIn(earlyFailures),
                         caseName<EarlyFailureCase>);

TEST(SignArguments, NoTextOrCertificateFailsQuietly)
{
    StreamCapture capture;
    EXPECT_EQ(SelfSignFile(nullptr, "CN=Kelvane"), 0);
    EXPECT_EQ(SelfSignFile("kelvane.cat", nullptr), 0);
    EXPECT_EQ(CreateSelfSignedCert(nullptr), nullptr);
    EXPECT_EQ(AddCertToStore(nullptr, "Root"), 0);
    EXPECT_EQ(RemoveCertFromStore(nullptr, "Root"), 0);
    EXPECT_EQ(RemoveCertFromStore("CN=Kelvane", nullptr), 0);
    EXPECT_EQ(DeletePrivateKey(nullptr), 0);
    capture.finish();
    EXPECT_EQ(capture.out() + capture.err(), "");
}

// ---- A signing stopped at each of its steps ------------------------------------
//
// The updater's quit kills its worker after 100 ms and ends the process at
// once, whatever the worker does; the preparation signs on that worker. A
// second run of this program signs on a worker thread of its own, with every
// function that the signing binds at run time, and the key container's
// calls, behind a stand-in that counts the calls and holds the one it is
// told to still; it then kills the worker and ends itself just as the
// updater does. This program looks at the stores after each such stop.

const char *const stoppedSigningArgument = "--stopped-signing";
enum StoppedSigningExit { stoppedAtItsStep = 3, tooManyFunctions = 4, neitherHeldNorEnded = 5,
                          ranThrough = 10 };

// Any bound function, called with more arguments than it takes: on x64 the
// first four travel in registers and the rest on the caller's stack, none of
// these functions takes a floating-point one, and what a function does not
// read does it no harm. The answer comes back in one register.
using AnyFunction = ULONG_PTR(WINAPI *)(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR,
                                        ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR);

// As many as the binding can stand in for at one time.
constexpr size_t holdingSlots = 16;

struct HeldFunction {
    std::string module, name;
    AnyFunction target = nullptr;
};

HeldFunction heldFunctions[holdingSlots];
size_t heldFunctionCount = 0;
bool heldFunctionsOverflowed = false;
LONG callsSoFar = 0;
LONG callToHold = 0;
HANDLE holding = nullptr;

void holdIfDue(const char *name)
{
    if (InterlockedIncrement(&callsSoFar) != callToHold)
        return;
    std::printf("held at %s\n", name);
    std::fflush(stdout);
    SetEvent(holding);
    Sleep(INFINITE);
}

template <size_t Slot>
ULONG_PTR WINAPI holdThenCall(ULONG_PTR a, ULONG_PTR b, ULONG_PTR c, ULONG_PTR d, ULONG_PTR e,
                              ULONG_PTR f, ULONG_PTR g, ULONG_PTR h, ULONG_PTR i, ULONG_PTR j)
{
    holdIfDue(heldFunctions[Slot].name.c_str());
    return heldFunctions[Slot].target(a, b, c, d, e, f, g, h, i, j);
}

template <size_t... Slot>
std::array<AnyFunction, sizeof...(Slot)> holdersFor(std::index_sequence<Slot...>)
{
    return { &holdThenCall<Slot>... };
}

const std::array<AnyFunction, holdingSlots> holders =
    holdersFor(std::make_index_sequence<holdingSlots>());

// What Wine lacks, as the other tests stand in for it: the certificate on
// SHA-1, the key provider found as Windows finds it, and a signer that signs.
AnyFunction targetOf(const char *module, const char *name)
{
    const struct {
        const char *name;
        const void *standIn;
    } standIns[] = {
        { "CertCreateSelfSignCertificate", reinterpret_cast<const void *>(recordingCreate) },
        { "CryptAcquireCertificatePrivateKey",
          reinterpret_cast<const void *>(acquireLikeWindows) },
        { "SignerSignEx", reinterpret_cast<const void *>(recordingSignerSignEx) },
        { "SignerFreeSignerContext", reinterpret_cast<const void *>(recordingFreeSignerContext) },
    };
    for (const auto &standIn : standIns) {
        if (std::strcmp(standIn.name, name) == 0)
            return reinterpret_cast<AnyFunction>(standIn.standIn);
    }
    return reinterpret_cast<AnyFunction>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA(module), name)));
}

// Every function that the signing looks up is put behind a holder as it is
// looked up: the binding asks its observer before its stand-ins.
void holdWhatIsBound(const char *module, const char *name, const char *)
{
    for (size_t i = 0; i < heldFunctionCount; i++) {
        if (heldFunctions[i].name == name)
            return;
    }
    if (heldFunctionCount == holdingSlots) {
        heldFunctionsOverflowed = true;
        return;
    }
    HeldFunction &held = heldFunctions[heldFunctionCount];
    held.module = module;
    held.name = name;
    held.target = targetOf(module, name);
    system_function_replace(held.module.c_str(), held.name.c_str(),
                            reinterpret_cast<system_function>(holders[heldFunctionCount]));
    heldFunctionCount++;
}

// The key container's calls, which the library makes directly.
const udi_test::ReplacedImport *containerAcquisition = nullptr;
const udi_test::ReplacedImport *keyGeneration = nullptr;

BOOL WINAPI holdThenAcquireContainer(HCRYPTPROV *provider, LPCWSTR container, LPCWSTR name,
                                     DWORD type, DWORD flags)
{
    holdIfDue("CryptAcquireContextW");
    return containerAcquisition->original<decltype(&CryptAcquireContextW)>()(provider, container,
                                                                             name, type, flags);
}

// A small key: a 4096-bit one takes seconds, and the signing is stopped
// dozens of times.
BOOL WINAPI holdThenGenerateSmallKey(HCRYPTPROV provider, ALG_ID algorithm, DWORD flags,
                                     HCRYPTKEY *key)
{
    holdIfDue("CryptGenKey");
    return keyGeneration->original<decltype(&CryptGenKey)>()(
        provider, algorithm, (1024u << 16) | (flags & 0xFFFF), key);
}

struct SigningArguments {
    const char *catalog;
    const char *subject;
};

DWORD WINAPI signOnWorker(void *parameter)
{
    const auto *arguments = static_cast<const SigningArguments *>(parameter);
    return static_cast<DWORD>(SelfSignFile(arguments->catalog, arguments->subject));
}

// The second run: signs, and is stopped at the given call (1 for the first).
int runStoppedSigning(const char *catalog, const char *subject, int call)
{
    callToHold = call;
    holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const udi_test::ReplacedImport acquisition(
        "advapi32.dll", "CryptAcquireContextW",
        reinterpret_cast<const void *>(holdThenAcquireContainer));
    const udi_test::ReplacedImport generation(
        "advapi32.dll", "CryptGenKey", reinterpret_cast<const void *>(holdThenGenerateSmallKey));
    containerAcquisition = &acquisition;
    keyGeneration = &generation;
    system_function_observe(holdWhatIsBound);

    SigningArguments arguments = { catalog, subject };
    HANDLE worker = CreateThread(nullptr, 0, signOnWorker, &arguments, 0, nullptr);
    const HANDLE ends[] = { holding, worker };
    const DWORD end = WaitForMultipleObjects(2, ends, FALSE, 60000);
    if (end == WAIT_OBJECT_0) {
        // As the updater's forced stop, and its quit right after it.
        TerminateThread(worker, 1);
        TerminateProcess(GetCurrentProcess(), stoppedAtItsStep);
    }
    if (end != WAIT_OBJECT_0 + 1)
        return neitherHeldNorEnded;
    if (heldFunctionsOverflowed || !acquisition.active() || !generation.active())
        return tooManyFunctions;
    DWORD result = 0;
    GetExitCodeThread(worker, &result);
    return ranThrough + static_cast<int>(result);
}

class SignStop : public testing::Test {
protected:
    void SetUp() override
    {
        removeFromTrustingStores(subject);
        deleteKeyContainer();
        udi_test::writeFile(folder.wide(L"kelvane.cat"), "catalog");
    }

    void TearDown() override
    {
        removeFromTrustingStores(subject);
        deleteKeyContainer();
    }

    // This program again, stopping a signing at the given call.
    int signStoppedAt(int call, std::string *output) const
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring program = self;
        const std::wstring wideSubject(subject.begin(), subject.end());
        const std::string argument = stoppedSigningArgument;
        return udi_test::runCommand(
            udi_test::probeCommand({ std::wstring(argument.begin(), argument.end()),
                                     folder.wide(L"kelvane.cat"), wideSubject,
                                     std::to_wstring(call) },
                                   program.substr(program.find_last_of(L'\\') + 1).c_str()),
            output, true);
    }

    const std::string subject = "CN=Kelvane stopped signing test";
    TempFolder folder;
};

TEST_F(SignStop, LeavesNoTrustedCertificateWhoseKeyLivesWhereverItStops)
{
    std::set<std::string> heldAt;
    const int noSigningMakesSoMany = 500;
    int call = 1;
    for (; call < noSigningMakesSoMany; call++) {
        // Each run from the same start, so that its n-th call is the same
        // step: a left-over container takes one call less to open.
        removeFromTrustingStores(subject);
        deleteKeyContainer();
        std::string output;
        const int code = signStoppedAt(call, &output);
        if (code >= ranThrough) {
            // Past its last call: it signs, and ends where a signing ends.
            EXPECT_EQ(code, ranThrough + 1) << output;
            expectSignedState(subject);
            break;
        }
        ASSERT_EQ(code, stoppedAtItsStep) << "call " << call << "\n" << output;
        const size_t at = output.find("held at ");
        ASSERT_NE(at, std::string::npos) << output;
        const std::string step = output.substr(at + 8, output.find_first_of("\r\n", at) - at - 8);
        heldAt.insert(step);
        std::printf("[ stop     ] call %d, %s\n", call, step.c_str());
        SCOPED_TRACE("stopped at call " + std::to_string(call) + ", " + step);
        expectNoTrustedCopyWhoseKeyLives(subject);
    }
    ASSERT_LT(call, noSigningMakesSoMany) << "the signing never ran through";
    // It was held at each kind of step: the key's making, the signing, the
    // key's deletion and the stores' taking the certificate.
    for (const char *step : { "CryptGenKey", "CertCreateSelfSignCertificate", "SignerSignEx",
                              "CryptAcquireCertificatePrivateKey", "CryptAcquireContextW",
                              "CertAddCertificateContextToStore", "CertCloseStore" })
        EXPECT_EQ(heldAt.count(step), 1u) << step;
    std::printf("[ stops    ] %d calls, each held in turn\n", call - 1);
}

// ---- The real path, as far as Wine goes ----------------------------------------

// Wine runs a program as the Windows version that its setting for the
// program's name says: this copy of the probe runs as Windows 7.
const wchar_t *const windows7Probe = L"udi_probe_windows7.exe";
const wchar_t *const windows7Setting = L"Software\\Wine\\AppDefaults\\udi_probe_windows7.exe";

class RealSigning : public testing::Test {
protected:
    void SetUp() override
    {
        removeFromTrustingStores(subject);
        deleteKeyContainer();
        DeleteFileW(L"signed_certificate.der");
        const std::wstring version = L"win7";
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, windows7Setting, L"Version", REG_SZ,
                                  version.c_str(),
                                  static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, windows7Setting);
        removeFromTrustingStores(subject);
        deleteKeyContainer();
    }

    std::string sign(const TempFolder &folder)
    {
        std::string output;
        EXPECT_EQ(udi_test::runCommand(udi_test::probeCommand({ L"sign",
                                                                folder.wide(L"kelvane.cat"),
                                                                L"CN=Kelvane real signing test" },
                                                              windows7Probe),
                                       &output, true),
                  0);
        return output;
    }

    const std::string subject = "CN=Kelvane real signing test";
};

// Two signings with one subject; the certificate the second one leaves is
// written to signed_certificate.der for openssl on the host.
TEST_F(RealSigning, MakesStoresAndStripsARealCertificateWhereWinesSignerFails)
{
    TempFolder folder;
    udi_test::writeFile(folder.wide(L"kelvane.cat"), "catalog");
    // Standard output and error of a child on a pipe are in text mode: CR LF.
    const std::string made = "libudi:info [CreateSelfSignedCert] Created new self-signed "
                             "certificate '" + subject + "'\r\n"
                             "libudi:warning [SelfSignFile] SignerSignEx failed: [#80004001] "
                             "Not implemented.\r\n"
                             "libudi:warning [DeletePrivateKey] Error getting CSP: Private key "
                             "or certificate issue\r\n"
                             "libudi:info [SelfSignFile] Added certificate '" + subject
                             + "' to 'Root' and 'TrustedPublisher' stores\r\n";

    EXPECT_EQ(sign(folder), made);
    expectSignedState(subject);
    const std::string first = storedCopies("Root", subject).at(0).encoded;

    EXPECT_EQ(sign(folder), "libudi:info [RemoveCertFromStore] Deleted existing certificate '"
                                + subject + "' from 'Root' store\r\n"
                            "libudi:info [RemoveCertFromStore] Deleted existing certificate '"
                                + subject + "' from 'TrustedPublisher' store\r\n"
                                + made);
    expectSignedState(subject);
    const std::string second = storedCopies("Root", subject).at(0).encoded;
    EXPECT_NE(second, first);
    EXPECT_EQ(storedCopies("TrustedPublisher", subject).at(0).encoded, second);
    EXPECT_EQ(udi_test::readFile(folder.wide(L"kelvane.cat")), "catalog");

    PCCERT_CONTEXT certificate = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE *>(second.data()),
        static_cast<DWORD>(second.size()));
    ASSERT_NE(certificate, nullptr);
    EXPECT_STREQ(certificate->pCertInfo->SignatureAlgorithm.pszObjId, "1.2.840.113549.1.1.5");
    CertFreeCertificateContext(certificate);

    std::ofstream("signed_certificate.der", std::ios::binary) << second;
}

}  // namespace

// A second run of this program stops a signing (see SignStop); any other
// run is GoogleTest's.
int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], stoppedSigningArgument) == 0)
        return runStoppedSigning(argv[2], argv[3], std::atoi(argv[4]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
