#pragma once

#include <string>
#include <vector>
#include <windows.h>
#include <wincrypt.h>

namespace udi_test {

// The machine key container in which the signing keeps its key.
bool keyContainerExists();
void deleteKeyContainer();
// The container without a key, as a run that stopped early leaves it.
bool makeKeyContainer();

// One certificate of a local machine store.
struct StoredCopy {
    std::string encoded;            // its DER bytes
    bool linkedToKey = false;       // carries key provider information
    // The key container holds its private key, whatever the copy carries:
    // the container's name is fixed, so whoever can open it can sign as
    // the certificate.
    bool keyLives = false;
    std::wstring friendlyName;      // empty when it has none
    DWORD friendlyNameBytes = 0;    // the property's size, terminator included
};

// The certificates of subject (X.500 text) in the local machine's store.
std::vector<StoredCopy> storedCopies(const char *store, const std::string &subject);

// Deletes every certificate of subject from "Root" and "TrustedPublisher".
void removeFromTrustingStores(const std::string &subject);

// A self-signed certificate of subject whose key pair, a small one that is
// quick to make, lives in the signing's key container, and which refers to
// it as a freshly made signing certificate does.
class KeyedCertificate {
public:
    explicit KeyedCertificate(const std::string &subject);
    ~KeyedCertificate();

    KeyedCertificate(const KeyedCertificate &) = delete;
    KeyedCertificate &operator=(const KeyedCertificate &) = delete;

    PCCERT_CONTEXT get() const { return context; }

private:
    PCCERT_CONTEXT context = nullptr;
};

// While it lives the key container cannot be deleted: Wine keeps a machine
// key container as a registry key, and a key with a subkey of its own is
// not deleted.
class UndeletableKeyContainer {
public:
    UndeletableKeyContainer();
    ~UndeletableKeyContainer();

    UndeletableKeyContainer(const UndeletableKeyContainer &) = delete;
    UndeletableKeyContainer &operator=(const UndeletableKeyContainer &) = delete;

    bool held() const { return isHeld; }

private:
    bool isHeld = false;
};

}  // namespace udi_test
