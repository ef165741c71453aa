/*
 * Signing a file, the driver package's catalog, with a self-signed
 * code-signing certificate that the machine is made to trust.
 *
 * Each signing replaces the certificates an earlier one left for the same
 * subject: it makes a fresh certificate whose 4096-bit private key lives in
 * the machine key container "libudi key container", signs the file, deletes
 * the key, and only then puts the key-less certificate into the local
 * machine's "Root" and "TrustedPublisher" stores under the friendly name
 * "libudi". A signing stopped at any point leaves at most a key that
 * nothing trusts, which the next signing reuses and deletes. Every failure
 * is logged and the caller goes on with an unsigned file.
 *
 * Crypt32 and MSSign32 are bound at run time (system_binding.h). Texts are
 * UTF-8; subjects are X.500 name texts such as "CN=Kelvane (libudi)".
 */
#ifndef UDI_SIGN_H
#define UDI_SIGN_H

#include <windows.h>
#include <wincrypt.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the file at path was signed and the machine trusts its signer, else 0. */
int SelfSignFile(const char *path, const char *subject);

/*
 * A new self-signed code-signing certificate of subject whose key pair was
 * just generated into the key container, or NULL. The caller frees it with
 * CertFreeCertificateContext. The key stays in the container; when no
 * certificate comes of it, the container is deleted again.
 */
PCCERT_CONTEXT CreateSelfSignedCert(const char *subject);

/* Nonzero when the certificate is in the local machine's store_name, named "libudi". */
int AddCertToStore(PCCERT_CONTEXT certificate, const char *store_name);

/* Deletes every certificate of subject from store_name; nonzero when the store was searched. */
int RemoveCertFromStore(const char *subject, const char *store_name);

/*
 * Deletes the key container and replaces the certificate's copies in both
 * stores by key-less ones; where the container cannot be deleted, the
 * certificate leaves both stores instead. Every store that cannot be dealt
 * with is logged. Once the key is gone the certificate itself no longer
 * names it either. Nonzero when the certificate's key provider could be
 * had, the container went and both stores were looked into; the deletion is
 * tried in any case.
 */
int DeletePrivateKey(PCCERT_CONTEXT certificate);

/*
 * What SignerSignEx of MSSign32 takes, in the system's layout; the system
 * headers here do not declare them.
 */
#define SIGNER_SUBJECT_FILE        1
#define SIGNER_CERT_STORE          2
#define SIGNER_CERT_POLICY_CHAIN   2
#define SIGNER_NO_ATTR             0

typedef struct signer_file_info {
    DWORD size;
    LPCWSTR file_name;
    HANDLE file;
} signer_file_info;

typedef struct signer_subject_info {
    DWORD size;
    DWORD *index;
    DWORD subject_choice;      /* SIGNER_SUBJECT_FILE */
    signer_file_info *file;
} signer_subject_info;

typedef struct signer_cert_store_info {
    DWORD size;
    PCCERT_CONTEXT signing_certificate;
    DWORD certificate_policy;  /* SIGNER_CERT_POLICY_CHAIN */
    HCERTSTORE extra_store;
} signer_cert_store_info;

typedef struct signer_cert {
    DWORD size;
    DWORD certificate_choice;  /* SIGNER_CERT_STORE */
    signer_cert_store_info *store_info;
    HWND window;
} signer_cert;

typedef struct signer_signature_info {
    DWORD size;
    ALG_ID hash_algorithm;
    DWORD attribute_choice;    /* SIGNER_NO_ATTR */
    void *authenticode_attributes;
    PCRYPT_ATTRIBUTES authenticated;
    PCRYPT_ATTRIBUTES unauthenticated;
} signer_signature_info;

typedef struct signer_context {
    DWORD size;
    DWORD blob_size;
    BYTE *blob;
} signer_context;

typedef HRESULT(WINAPI *signer_sign_ex_fn)(DWORD flags, signer_subject_info *subject,
                                           signer_cert *certificate,
                                           signer_signature_info *signature,
                                           void *provider, LPCWSTR time_stamp_address,
                                           PCRYPT_ATTRIBUTES request, void *sip_data,
                                           signer_context **context);
typedef HRESULT(WINAPI *signer_free_signer_context_fn)(signer_context *context);

#ifdef __cplusplus
}
#endif

#endif
