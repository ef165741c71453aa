#include "MachineCertificates.h"

namespace udi_test {

namespace {

const wchar_t *const container = L"libudi key container";
const char *const blockingSubkey = "Software\\Wine\\Crypto\\RSA\\libudi key container\\kept";

HCERTSTORE openMachineStore(const char *store)
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                         CERT_SYSTEM_STORE_LOCAL_MACHINE, store);
}

std::string encodedName(const std::string &subject)
{
    DWORD size = 0;
    if (!CertStrToNameA(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr, nullptr,
                        &size, nullptr))
        return {};
    std::string name(size, '\0');
    if (!CertStrToNameA(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr,
                        reinterpret_cast<BYTE *>(name.data()), &size, nullptr))
        return {};
    name.resize(size);
    return name;
}

bool hasSubject(PCCERT_CONTEXT certificate, const std::string &name)
{
    const CERT_NAME_BLOB &subject = certificate->pCertInfo->Subject;
    return subject.cbData == name.size()
        && std::string(reinterpret_cast<const char *>(subject.pbData), subject.cbData) == name;
}

// Whether the signature key in the container is the certificate's.
bool containerHoldsKeyOf(PCCERT_CONTEXT certificate)
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, container, nullptr, PROV_RSA_FULL,
                              CRYPT_MACHINE_KEYSET | CRYPT_SILENT))
        return false;
    bool holds = false;
    DWORD size = 0;
    if (CryptExportPublicKeyInfo(provider, AT_SIGNATURE, X509_ASN_ENCODING, nullptr, &size)) {
        std::vector<BYTE> info(size);
        auto *key = reinterpret_cast<PCERT_PUBLIC_KEY_INFO>(info.data());
        holds = CryptExportPublicKeyInfo(provider, AT_SIGNATURE, X509_ASN_ENCODING, key, &size)
            && CertComparePublicKeyInfo(X509_ASN_ENCODING, key,
                                        &certificate->pCertInfo->SubjectPublicKeyInfo);
    }
    CryptReleaseContext(provider, 0);
    return holds;
}

}  // namespace

bool keyContainerExists()
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, container, nullptr, PROV_RSA_FULL,
                              CRYPT_MACHINE_KEYSET | CRYPT_SILENT))
        return false;
    CryptReleaseContext(provider, 0);
    return true;
}

void deleteKeyContainer()
{
    HCRYPTPROV provider = 0;
    CryptAcquireContextW(&provider, container, nullptr, PROV_RSA_FULL,
                         CRYPT_MACHINE_KEYSET | CRYPT_SILENT | CRYPT_DELETEKEYSET);
}

bool makeKeyContainer()
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, container, nullptr, PROV_RSA_FULL,
                              CRYPT_MACHINE_KEYSET | CRYPT_SILENT | CRYPT_NEWKEYSET))
        return false;
    CryptReleaseContext(provider, 0);
    return true;
}

std::vector<StoredCopy> storedCopies(const char *store, const std::string &subject)
{
    std::vector<StoredCopy> copies;
    const std::string name = encodedName(subject);
    HCERTSTORE handle = openMachineStore(store);
    if (handle == nullptr || name.empty())
        return copies;
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(handle, certificate)) != nullptr) {
        if (!hasSubject(certificate, name))
            continue;
        StoredCopy copy;
        copy.encoded.assign(reinterpret_cast<const char *>(certificate->pbCertEncoded),
                            certificate->cbCertEncoded);
        DWORD size = 0;
        copy.linkedToKey = CertGetCertificateContextProperty(
            certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size);
        copy.keyLives = containerHoldsKeyOf(certificate);
        size = 0;
        if (CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, nullptr,
                                              &size)
            && size >= sizeof(wchar_t)) {
            std::wstring text(size / sizeof(wchar_t), L'\0');
            CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID,
                                              text.data(), &size);
            copy.friendlyNameBytes = size;
            copy.friendlyName = text.c_str();
        }
        copies.push_back(copy);
    }
    CertCloseStore(handle, 0);
    return copies;
}

void removeFromTrustingStores(const std::string &subject)
{
    const std::string name = encodedName(subject);
    for (const char *store : { "Root", "TrustedPublisher" }) {
        HCERTSTORE handle = openMachineStore(store);
        if (handle == nullptr)
            continue;
        bool deleted = true;
        while (deleted) {
            deleted = false;
            PCCERT_CONTEXT certificate = nullptr;
            while ((certificate = CertEnumCertificatesInStore(handle, certificate)) != nullptr) {
                if (hasSubject(certificate, name)) {
                    deleted = CertDeleteCertificateFromStore(certificate) != FALSE;
                    break;
                }
            }
        }
        // Wine keeps deletions in memory until a commit.
        CertControlStore(handle, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertCloseStore(handle, 0);
    }
}

KeyedCertificate::KeyedCertificate(const std::string &subject)
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, container, nullptr, PROV_RSA_FULL,
                              CRYPT_MACHINE_KEYSET | CRYPT_SILENT)
        && !CryptAcquireContextW(&provider, container, nullptr, PROV_RSA_FULL,
                                 CRYPT_MACHINE_KEYSET | CRYPT_SILENT | CRYPT_NEWKEYSET))
        return;
    HCRYPTKEY key = 0;
    if (CryptGenKey(provider, AT_SIGNATURE, (1024u << 16) | CRYPT_EXPORTABLE, &key))
        CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);

    std::string name = encodedName(subject);
    CERT_NAME_BLOB blob = { static_cast<DWORD>(name.size()),
                            reinterpret_cast<BYTE *>(name.data()) };
    CRYPT_KEY_PROV_INFO keyInformation = { const_cast<LPWSTR>(container), nullptr, PROV_RSA_FULL,
                                           CRYPT_MACHINE_KEYSET, 0, nullptr, AT_SIGNATURE };
    context = CertCreateSelfSignCertificate(0, &blob, 0, &keyInformation, nullptr, nullptr,
                                            nullptr, nullptr);
}

KeyedCertificate::~KeyedCertificate()
{
    if (context != nullptr)
        CertFreeCertificateContext(context);
}

UndeletableKeyContainer::UndeletableKeyContainer()
{
    HKEY key = nullptr;
    isHeld = RegCreateKeyExA(HKEY_LOCAL_MACHINE, blockingSubkey, 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr) == ERROR_SUCCESS;
    if (key != nullptr)
        RegCloseKey(key);
}

UndeletableKeyContainer::~UndeletableKeyContainer()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, blockingSubkey);
}

}  // namespace udi_test
