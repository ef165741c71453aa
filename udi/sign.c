/*
 * The self-signed certificate that signs a driver package's catalog, and the
 * signing. A certificate in "Root" is trusted for everything it is valid
 * for, so it must never be there while its private key lives: the key signs
 * first and is deleted, on every way out, before the stores take the
 * certificate; where it cannot be deleted, the stores never do.
 */
#include "sign.h"

#include <stdlib.h>

#include "internal.h"

#define KEY_CONTAINER          L"libudi key container"
#define FRIENDLY_NAME          L"libudi"

/* The project's own texts in every certificate: who made it, and where to read about it. */
#define PROJECT_ADDRESS        "https://help.ornvale.com/hc/kelvane"
#define PRACTICE_ADDRESS       PROJECT_ADDRESS "/certification-practice"
#define CERTIFICATE_NOTE       L"Made by the driver library of the Kelvane Firmware Updater " \
                               L"to sign a driver package (" PROJECT_ADDRESS ")"

#define OID_CODE_SIGNING       "1.3.6.1.5.5.7.3.3"
#define OID_KEY_USAGE          "2.5.29.37"
#define OID_ALTERNATIVE_NAME   "2.5.29.7"
#define OID_POLICIES           "2.5.29.32"
#define OID_PRACTICE_STATEMENT "1.3.6.1.5.5.7.2.1"
#define OID_SHA256_RSA         "1.2.840.113549.1.1.11"
#define OID_SHA1_RSA           "1.2.840.113549.1.1.5"
#define OID_OPUS_INFO          "1.3.6.1.4.1.311.2.1.12"
#define OID_STATEMENT_TYPE     "1.3.6.1.4.1.311.2.1.11"

/* 4096 bits in the upper half, exportable in the lower. */
#define KEY_FLAGS              ((4096u << 16) | CRYPT_EXPORTABLE)
#define ENCODING               X509_ASN_ENCODING

typedef BOOL(WINAPI *crypt_encode_object_fn)(DWORD, LPCSTR, const void *, BYTE *, DWORD *);
typedef BOOL(WINAPI *cert_str_to_name_fn)(DWORD, LPCSTR, DWORD, void *, BYTE *, DWORD *,
                                          LPCSTR *);
typedef PCCERT_CONTEXT(WINAPI *cert_create_self_sign_fn)(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE,
                                                         PCERT_NAME_BLOB, DWORD,
                                                         PCRYPT_KEY_PROV_INFO,
                                                         PCRYPT_ALGORITHM_IDENTIFIER,
                                                         PSYSTEMTIME, PSYSTEMTIME,
                                                         PCERT_EXTENSIONS);
typedef BOOL(WINAPI *cert_free_context_fn)(PCCERT_CONTEXT);
typedef HCERTSTORE(WINAPI *cert_open_store_fn)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD,
                                               const void *);
typedef BOOL(WINAPI *cert_close_store_fn)(HCERTSTORE, DWORD);
typedef BOOL(WINAPI *cert_set_property_fn)(PCCERT_CONTEXT, DWORD, DWORD, const void *);
typedef BOOL(WINAPI *cert_add_context_fn)(HCERTSTORE, PCCERT_CONTEXT, DWORD, PCCERT_CONTEXT *);
typedef BOOL(WINAPI *cert_add_encoded_fn)(HCERTSTORE, DWORD, const BYTE *, DWORD, DWORD,
                                          PCCERT_CONTEXT *);
typedef PCCERT_CONTEXT(WINAPI *cert_find_fn)(HCERTSTORE, DWORD, DWORD, DWORD, const void *,
                                             PCCERT_CONTEXT);
typedef BOOL(WINAPI *cert_delete_fn)(PCCERT_CONTEXT);
typedef BOOL(WINAPI *crypt_acquire_key_fn)(PCCERT_CONTEXT, DWORD, void *,
                                           HCRYPTPROV_OR_NCRYPT_KEY_HANDLE *, DWORD *, BOOL *);
typedef BOOL(WINAPI *cert_control_store_fn)(HCERTSTORE, DWORD, DWORD, const void *);

/* Looks name up in module into pointer, of its own type; false when it is missing. */
#define BIND(module, caller, pointer, type, name) \
    (((pointer) = (type)system_module_function((module), (name), (caller))) != NULL)

/* The two trusting stores, in the order they are written. */
static const char *const trusting_stores[] = { "Root", "TrustedPublisher" };

/* An encoding made by a call that is asked for the size first, then for the bytes. */
typedef struct encoding {
    BYTE *bytes;
    DWORD size;
} encoding;

typedef struct value_encoder {
    crypt_encode_object_fn encode_object;
    LPCSTR type;
    const void *value;
} value_encoder;

typedef struct name_encoder {
    cert_str_to_name_fn str_to_name;
    const char *subject;
} name_encoder;

static BOOL encode_value(const void *encoder, BYTE *bytes, DWORD *size)
{
    const value_encoder *e = encoder;

    return e->encode_object(ENCODING, e->type, e->value, bytes, size);
}

/* The subject as the encoded X.500 name that certificates and store searches compare. */
static BOOL encode_name(const void *encoder, BYTE *bytes, DWORD *size)
{
    const name_encoder *e = encoder;

    return e->str_to_name(ENCODING, e->subject, CERT_X500_NAME_STR, NULL, bytes, size, NULL);
}

/* Nonzero with out filled; else out is empty and the last error tells why. */
static int encode(BOOL (*call)(const void *, BYTE *, DWORD *), const void *encoder,
                  encoding *out)
{
    DWORD error;

    out->bytes = NULL;
    out->size = 0;
    if (!call(encoder, NULL, &out->size))
        return 0;
    out->bytes = malloc(out->size);
    if (out->bytes == NULL) {
        SetLastError((DWORD)NTE_NO_MEMORY);
        return 0;
    }
    if (call(encoder, out->bytes, &out->size))
        return 1;
    error = GetLastError();
    free(out->bytes);
    out->bytes = NULL;
    out->size = 0;
    SetLastError(error);
    return 0;
}

static int encode_structure(crypt_encode_object_fn encode_object, LPCSTR type,
                            const void *value, encoding *out)
{
    const value_encoder encoder = { encode_object, type, value };

    return encode(encode_value, &encoder, out);
}

static int encode_subject(cert_str_to_name_fn str_to_name, const char *subject, encoding *out)
{
    const name_encoder encoder = { str_to_name, subject };

    return encode(encode_name, &encoder, out);
}

static HCERTSTORE open_machine_store(cert_open_store_fn open_store, const char *store_name)
{
    return open_store(CERT_STORE_PROV_SYSTEM_A, ENCODING, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                      store_name);
}

static BOOL set_friendly_name(cert_set_property_fn set_property, PCCERT_CONTEXT certificate)
{
    CRYPT_DATA_BLOB name = { sizeof(FRIENDLY_NAME), (BYTE *)FRIENDLY_NAME };

    return set_property(certificate, CERT_FRIENDLY_NAME_PROP_ID, 0, &name);
}

/* The container of the certificate key, opened as it is or made anew. */
static int open_key_container(HCRYPTPROV *provider, const char *caller)
{
    const DWORD flags = CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
    DWORD error;

    if (CryptAcquireContextW(provider, KEY_CONTAINER, NULL, PROV_RSA_FULL, flags)) {
        log_message(LOG_DEBUG, caller, "Acquired existing key container");
        return 1;
    }
    error = GetLastError();
    if (error == (DWORD)NTE_BAD_KEYSET || error == (DWORD)NTE_KEYSET_ENTRY_BAD) {
        if (CryptAcquireContextW(provider, KEY_CONTAINER, NULL, PROV_RSA_FULL,
                                 flags | CRYPT_NEWKEYSET)) {
            log_message(LOG_DEBUG, caller, "Created new key container");
            return 1;
        }
        error = GetLastError();
    }
    *provider = 0;
    log_message(LOG_WARNING, caller, "Could not obtain a key container: %s",
                pki_error_text(error));
    return 0;
}

static void delete_key_container(const char *caller)
{
    HCRYPTPROV container;

    if (!CryptAcquireContextW(&container, KEY_CONTAINER, NULL, PROV_RSA_FULL,
                              CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT))
        log_message(LOG_WARNING, caller, "Failed to delete private key: %s", pki_error_text(0));
}

PCCERT_CONTEXT CreateSelfSignedCert(const char *subject)
{
    system_module crypt32 = { 0 };
    crypt_encode_object_fn encode_object;
    cert_str_to_name_fn str_to_name;
    cert_create_self_sign_fn create_self_sign;
    cert_free_context_fn free_certificate;
    encoding key_usage = { 0 }, alternative_name = { 0 }, practice = { 0 }, policies = { 0 };
    encoding name = { 0 };
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    PCCERT_CONTEXT certificate = NULL;
    int container_opened = 0;

    LPSTR usage_identifiers[] = { OID_CODE_SIGNING };
    CERT_ENHKEY_USAGE usage = { 1, usage_identifiers };
    CERT_ALT_NAME_ENTRY note = { CERT_ALT_NAME_RFC822_NAME, { 0 } };
    CERT_ALT_NAME_INFO alternative_names = { 1, &note };
    /* The address goes in with its terminating zero. */
    CERT_NAME_VALUE practice_address = {
        CERT_RDN_IA5_STRING, { sizeof(PRACTICE_ADDRESS), (BYTE *)PRACTICE_ADDRESS }
    };
    CERT_POLICY_QUALIFIER_INFO qualifier = { OID_PRACTICE_STATEMENT, { 0, NULL } };
    CERT_POLICY_INFO policy = { OID_PRACTICE_STATEMENT, 1, &qualifier };
    CERT_POLICIES_INFO policy_list = { 1, &policy };
    CERT_EXTENSION extensions[3];
    CERT_EXTENSIONS extension_list = { 3, extensions };
    CRYPT_KEY_PROV_INFO key_information = {
        (LPWSTR)KEY_CONTAINER, NULL, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET, 0, NULL, AT_SIGNATURE
    };
    CRYPT_ALGORITHM_IDENTIFIER algorithm = { NULL, { 0, NULL } };
    SYSTEMTIME end = { 2029, 1, 1, 1, 0, 0, 0, 0 };  /* 2029-01-01, a Monday */
    CERT_NAME_BLOB subject_name;

    if (subject == NULL)
        return NULL;
    note.pwszRfc822Name = (LPWSTR)CERTIFICATE_NOTE;

    system_module_open(&crypt32, "Crypt32");
    if (!BIND(&crypt32, __func__, encode_object, crypt_encode_object_fn,
              "CryptEncodeObject")
        || !BIND(&crypt32, __func__, str_to_name, cert_str_to_name_fn, "CertStrToNameA")
        || !BIND(&crypt32, __func__, create_self_sign, cert_create_self_sign_fn,
                 "CertCreateSelfSignCertificate")
        || !BIND(&crypt32, __func__, free_certificate, cert_free_context_fn,
                 "CertFreeCertificateContext"))
        goto out;

    if (!encode_structure(encode_object, X509_ENHANCED_KEY_USAGE, &usage, &key_usage)) {
        log_message(LOG_WARNING, __func__, "Could not setup EKU for code signing: %s",
                    pki_error_text(0));
        goto out;
    }
    if (!encode_structure(encode_object, X509_ALTERNATE_NAME, &alternative_names,
                       &alternative_name)) {
        log_message(LOG_WARNING, __func__, "Could not set Alt Name: %s", pki_error_text(0));
        goto out;
    }
    if (!encode_structure(encode_object, X509_NAME_VALUE, &practice_address, &practice)) {
        log_message(LOG_WARNING, __func__, "Could not setup CPS: %s", pki_error_text(0));
        goto out;
    }
    qualifier.Qualifier.cbData = practice.size;
    qualifier.Qualifier.pbData = practice.bytes;
    if (!encode_structure(encode_object, X509_CERT_POLICIES, &policy_list, &policies)) {
        log_message(LOG_WARNING, __func__, "Could not setup Certificate Policies: %s",
                    pki_error_text(0));
        goto out;
    }
    extensions[0] = (CERT_EXTENSION){ OID_KEY_USAGE, TRUE, { key_usage.size, key_usage.bytes } };
    extensions[1] = (CERT_EXTENSION){ OID_ALTERNATIVE_NAME, FALSE,
                                      { alternative_name.size, alternative_name.bytes } };
    extensions[2] = (CERT_EXTENSION){ OID_POLICIES, FALSE, { policies.size, policies.bytes } };
    log_message(LOG_DEBUG, __func__, "Set Enhanced Key Usage, URL and CPS");

    if (!open_key_container(&provider, __func__))
        goto out;
    container_opened = 1;
    if (!CryptGenKey(provider, AT_SIGNATURE, KEY_FLAGS, &key)) {
        key = 0;
        log_message(LOG_DEBUG, __func__, "Could not generate keypair: %s", pki_error_text(0));
        goto out;
    }
    log_message(LOG_DEBUG, __func__, "Generated new keypair...");
    /* The certificate finds the key through the container's name. Let go
       first: a provider that writes its keys out only when let go would
       otherwise leave the container without this key. */
    CryptDestroyKey(key);
    key = 0;
    CryptReleaseContext(provider, 0);
    provider = 0;

    if (!encode_subject(str_to_name, subject, &name)) {
        log_message(LOG_WARNING, __func__,
                    "Could not encode subject name for self signed cert: %s", pki_error_text(0));
        goto out;
    }
    subject_name.cbData = name.size;
    subject_name.pbData = name.bytes;

    /* Asked again each time: an earlier detection may not have decided. */
    detect_windows_version();
    algorithm.pszObjId = windows_version_code > 0x61 ? OID_SHA256_RSA : OID_SHA1_RSA;
    certificate = create_self_sign(0, &subject_name, 0, &key_information, &algorithm, NULL, &end,
                                   &extension_list);
    if (certificate == NULL) {
        log_message(LOG_WARNING, __func__, "Could not create self signed certificate: %s",
                    pki_error_text(0));
        goto out;
    }
    log_message(LOG_INFO, __func__, "Created new self-signed certificate '%s'", subject);

out:
    free(name.bytes);
    free(policies.bytes);
    free(practice.bytes);
    free(alternative_name.bytes);
    free(key_usage.bytes);
    if (key != 0)
        CryptDestroyKey(key);
    if (provider != 0)
        CryptReleaseContext(provider, 0);
    /* A key without its certificate signs nothing of ours, but it would
       stay in the machine's container for anyone who can read it: the one
       just made, or an older one in a container that was reused. Let go
       of the container first, as for the certificate. */
    if (certificate == NULL && container_opened)
        delete_key_container(__func__);
    system_module_close(&crypt32);
    return certificate;
}

int AddCertToStore(PCCERT_CONTEXT certificate, const char *store_name)
{
    system_module crypt32 = { 0 };
    cert_open_store_fn open_store;
    cert_set_property_fn set_property;
    cert_add_context_fn add_context;
    cert_close_store_fn close_store = NULL;
    HCERTSTORE store = NULL;
    int added = 0;

    if (certificate == NULL || store_name == NULL)
        return 0;
    system_module_open(&crypt32, "Crypt32");
    if (!BIND(&crypt32, __func__, open_store, cert_open_store_fn, "CertOpenStore")
        || !BIND(&crypt32, __func__, set_property, cert_set_property_fn,
                 "CertSetCertificateContextProperty")
        || !BIND(&crypt32, __func__, add_context, cert_add_context_fn,
                 "CertAddCertificateContextToStore")
        || !BIND(&crypt32, __func__, close_store, cert_close_store_fn, "CertCloseStore"))
        goto out;

    store = open_machine_store(open_store, store_name);
    if (store == NULL) {
        log_message(LOG_WARNING, __func__, "Failed to open system store '%s': %s", store_name,
                    pki_error_text(0));
        goto out;
    }
    if (!set_friendly_name(set_property, certificate)) {
        log_message(LOG_WARNING, __func__, "Could not set friendly name: %s", pki_error_text(0));
        goto out;
    }
    if (!add_context(store, certificate, CERT_STORE_ADD_REPLACE_EXISTING, NULL)) {
        log_message(LOG_WARNING, __func__, "Failed to add certificate to system store '%s': %s",
                    store_name, pki_error_text(0));
        goto out;
    }
    added = 1;

out:
    if (store != NULL)
        close_store(store, 0);
    system_module_close(&crypt32);
    return added;
}

/* What deleting certificates from a store takes. */
typedef struct store_deletion {
    cert_find_fn find;
    cert_delete_fn delete_certificate;
    cert_control_store_fn control_store;
} store_deletion;

static int bind_store_deletion(system_module *crypt32, const char *caller, store_deletion *f)
{
    return BIND(crypt32, caller, f->find, cert_find_fn, "CertFindCertificateInStore")
        && BIND(crypt32, caller, f->delete_certificate, cert_delete_fn,
                "CertDeleteCertificateFromStore")
        && BIND(crypt32, caller, f->control_store, cert_control_store_fn, "CertControlStore");
}

/*
 * The first certificate that find_type and find_value match, deleted; 1 when
 * one went, 0 when none was left, -1 when it would not go (the deletion
 * frees the context either way).
 */
static int delete_first_match(const store_deletion *f, HCERTSTORE store, DWORD find_type,
                              const void *find_value)
{
    PCCERT_CONTEXT found = f->find(store, ENCODING, 0, find_type, find_value, NULL);

    if (found == NULL)
        return 0;
    return f->delete_certificate(found) ? 1 : -1;
}

/*
 * A store may keep changes in memory until they are committed: on Windows
 * the system stores write at once and this does nothing, but a deletion
 * that stayed in memory would bring the certificate back with the next
 * opening.
 */
static void commit_store(const store_deletion *f, HCERTSTORE store)
{
    f->control_store(store, 0, CERT_STORE_CTRL_COMMIT, NULL);
}

int RemoveCertFromStore(const char *subject, const char *store_name)
{
    system_module crypt32 = { 0 };
    cert_open_store_fn open_store;
    cert_close_store_fn close_store = NULL;
    cert_str_to_name_fn str_to_name;
    store_deletion deletion;
    HCERTSTORE store = NULL;
    encoding name = { 0 };
    CERT_NAME_BLOB subject_name;
    int deleted;
    int searched = 0;

    if (subject == NULL || store_name == NULL)
        return 0;
    system_module_open(&crypt32, "Crypt32");
    if (!BIND(&crypt32, __func__, open_store, cert_open_store_fn, "CertOpenStore")
        || !bind_store_deletion(&crypt32, __func__, &deletion)
        || !BIND(&crypt32, __func__, close_store, cert_close_store_fn, "CertCloseStore")
        || !BIND(&crypt32, __func__, str_to_name, cert_str_to_name_fn, "CertStrToNameA"))
        goto out;

    store = open_machine_store(open_store, store_name);
    if (store == NULL) {
        log_message(LOG_WARNING, __func__, "failed to open system store '%s': %s", store_name,
                    pki_error_text(0));
        goto out;
    }
    if (!encode_subject(str_to_name, subject, &name)) {
        log_message(LOG_WARNING, __func__, "Failed to encode'%s': %s", subject,
                    pki_error_text(0));
        goto out;
    }
    subject_name.cbData = name.size;
    subject_name.pbData = name.bytes;

    /* From the start each time: a deletion invalidates any place in the
       store. A copy that will not go (one in a read-only part of the
       store, say) ends the search, or it would be found for ever. */
    while ((deleted = delete_first_match(&deletion, store, CERT_FIND_SUBJECT_NAME,
                                         &subject_name)) > 0)
        log_message(LOG_INFO, __func__, "Deleted existing certificate '%s' from '%s' store",
                    subject, store_name);
    if (deleted < 0)
        log_message(LOG_WARNING, __func__, "Could not delete certificate '%s' from '%s' store: %s",
                    subject, store_name, pki_error_text(0));
    commit_store(&deletion, store);
    searched = 1;

out:
    free(name.bytes);
    if (store != NULL)
        close_store(store, 0);
    system_module_close(&crypt32);
    return searched;
}

/* What making the stored copies of a certificate key-less, or taking them out, takes. */
typedef struct copy_functions {
    cert_open_store_fn open_store;
    cert_close_store_fn close_store;
    cert_find_fn find;
    cert_free_context_fn free_certificate;
    cert_add_encoded_fn add_encoded;
    cert_set_property_fn set_property;
    cert_delete_fn delete_certificate;
    cert_control_store_fn control_store;
    int can_visit;    /* open, look in and close a store */
    int can_replace;  /* put a key-less copy in place of a stored one */
    int can_remove;   /* take a stored copy out for good */
} copy_functions;

/*
 * Each function is looked up, so that every missing one is logged and one
 * that a step does not need does not keep that step from being taken.
 */
static void bind_copy_functions(system_module *crypt32, copy_functions *f)
{
    const char *const caller = "DeletePrivateKey";
    const int open = BIND(crypt32, caller, f->open_store, cert_open_store_fn, "CertOpenStore");
    const int close = BIND(crypt32, caller, f->close_store, cert_close_store_fn,
                           "CertCloseStore");
    const int find = BIND(crypt32, caller, f->find, cert_find_fn, "CertFindCertificateInStore");
    const int free_context = BIND(crypt32, caller, f->free_certificate, cert_free_context_fn,
                                  "CertFreeCertificateContext");
    const int add = BIND(crypt32, caller, f->add_encoded, cert_add_encoded_fn,
                         "CertAddEncodedCertificateToStore");
    const int set = BIND(crypt32, caller, f->set_property, cert_set_property_fn,
                         "CertSetCertificateContextProperty");
    const int delete_copy = BIND(crypt32, caller, f->delete_certificate, cert_delete_fn,
                                 "CertDeleteCertificateFromStore");
    const int control = BIND(crypt32, caller, f->control_store, cert_control_store_fn,
                             "CertControlStore");

    f->can_visit = open && close && find && free_context;
    f->can_replace = add && set;
    f->can_remove = delete_copy && control;
}

/* The store's copy of the certificate, or NULL when it holds none. */
static PCCERT_CONTEXT stored_copy(const copy_functions *f, HCERTSTORE store,
                                  PCCERT_CONTEXT certificate)
{
    return f->find(store, ENCODING, 0, CERT_FIND_EXISTING, certificate, NULL);
}

/*
 * Makes the stored copy key-less: the bare encoding replaces it, so it no
 * longer names the key container. Zero when the store could not be looked
 * into or its copy not dealt with for want of a function; a copy that the
 * store refuses to replace is only logged, as it names a container that is
 * gone.
 */
static int replace_by_keyless_copy(const copy_functions *f, PCCERT_CONTEXT certificate,
                                   const char *store_name)
{
    HCERTSTORE store;
    PCCERT_CONTEXT copy, key_less = NULL;
    int visited = 1;

    if (!f->can_visit) {
        log_message(LOG_WARNING, "DeletePrivateKey", "Failed to update '%s': %s", store_name,
                    pki_error_text(ERROR_PROC_NOT_FOUND));
        return 0;
    }
    store = open_machine_store(f->open_store, store_name);
    if (store == NULL) {
        log_message(LOG_WARNING, "DeletePrivateKey", "Failed to update '%s': %s", store_name,
                    pki_error_text(0));
        return 0;
    }
    copy = stored_copy(f, store, certificate);
    if (copy == NULL) {
        /* Nothing stored, nothing to replace. */
    } else if (!f->can_replace) {
        log_message(LOG_WARNING, "DeletePrivateKey", "Failed to update '%s': %s", store_name,
                    pki_error_text(ERROR_PROC_NOT_FOUND));
        visited = 0;
    } else if (!f->add_encoded(store, ENCODING, certificate->pbCertEncoded,
                               certificate->cbCertEncoded, CERT_STORE_ADD_REPLACE_EXISTING,
                               &key_less)) {
        log_message(LOG_WARNING, "DeletePrivateKey", "Failed to update '%s': %s", store_name,
                    pki_error_text(0));
    } else {
        if (!set_friendly_name(f->set_property, key_less))
            log_message(LOG_WARNING, "DeletePrivateKey", "Could not set friendly name: %s",
                        pki_error_text(0));
        f->free_certificate(key_less);
    }
    if (copy != NULL)
        f->free_certificate(copy);
    f->close_store(store, 0);
    return visited;
}

/*
 * A key that outlives the signing can sign anything for the machine to
 * trust, stored copy or not: its container has a fixed name. The
 * certificate then leaves the store instead. Nonzero when the store holds
 * no copy of it.
 */
static int remove_certificate(const copy_functions *f, PCCERT_CONTEXT certificate,
                              const char *store_name)
{
    HCERTSTORE store;
    PCCERT_CONTEXT copy;
    int removed = 0;

    if (!f->can_visit) {
        log_message(LOG_WARNING, "DeletePrivateKey", "Could not remove the certificate from '%s' "
                    "store: %s", store_name, pki_error_text(ERROR_PROC_NOT_FOUND));
        return 0;
    }
    store = open_machine_store(f->open_store, store_name);
    if (store == NULL) {
        log_message(LOG_WARNING, "DeletePrivateKey", "Could not remove the certificate from '%s' "
                    "store: %s", store_name, pki_error_text(0));
        return 0;
    }
    copy = stored_copy(f, store, certificate);
    if (copy == NULL) {
        removed = 1;
    } else if (!f->can_remove) {
        f->free_certificate(copy);
        log_message(LOG_WARNING, "DeletePrivateKey", "Could not remove the certificate from '%s' "
                    "store: %s", store_name, pki_error_text(ERROR_PROC_NOT_FOUND));
    } else {
        /* The deletion frees the copy, also when it fails. */
        removed = f->delete_certificate(copy) != FALSE;
        if (!removed)
            log_message(LOG_WARNING, "DeletePrivateKey", "Could not remove the certificate from "
                        "'%s' store: %s", store_name, pki_error_text(0));
        f->control_store(store, 0, CERT_STORE_CTRL_COMMIT, NULL);
        if (removed)
            log_message(LOG_WARNING, "DeletePrivateKey", "Removed the certificate from '%s' "
                        "store, as its private key could not be deleted", store_name);
    }
    f->close_store(store, 0);
    return removed;
}

/*
 * The certificate itself still names the deleted container: a copy of it
 * added to a store later would name it too.
 */
static void unlink_key(const copy_functions *f, PCCERT_CONTEXT certificate)
{
    if (f->set_property == NULL)
        log_message(LOG_WARNING, "DeletePrivateKey", "Could not unlink the certificate from its "
                    "deleted key: %s", pki_error_text(ERROR_PROC_NOT_FOUND));
    else if (!f->set_property(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, NULL))
        log_message(LOG_WARNING, "DeletePrivateKey", "Could not unlink the certificate from its "
                    "deleted key: %s", pki_error_text(0));
}

/* DeletePrivateKey, telling the signing apart whether the key itself went. */
static int delete_private_key(PCCERT_CONTEXT certificate, int *key_gone)
{
    system_module crypt32 = { 0 };
    crypt_acquire_key_fn acquire_key;
    copy_functions f = { 0 };
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key_provider = 0;
    HCRYPTPROV container;
    DWORD key_spec = 0;
    BOOL must_free_provider = FALSE;
    int provider_found = 0, key_deleted, stores_done = 1;
    size_t i;

    system_module_open(&crypt32, "Crypt32");
    bind_copy_functions(&crypt32, &f);

    /* Neither a missing function nor a provider that cannot be had keeps
       the key: the container goes by its name. */
    if (BIND(&crypt32, "DeletePrivateKey", acquire_key, crypt_acquire_key_fn,
             "CryptAcquireCertificatePrivateKey")) {
        provider_found = acquire_key(certificate, CRYPT_ACQUIRE_SILENT_FLAG, NULL, &key_provider,
                                     &key_spec, &must_free_provider) != FALSE;
        if (!provider_found)
            log_message(LOG_WARNING, "DeletePrivateKey", "Error getting CSP: %s",
                        pki_error_text(0));
        /* Let go before the deletion: a provider that writes its keys back
           when let go would make the container again. */
        else if (must_free_provider && key_spec != CERT_NCRYPT_KEY_SPEC)
            CryptReleaseContext((HCRYPTPROV)key_provider, 0);
    }

    key_deleted = CryptAcquireContextW(&container, KEY_CONTAINER, NULL, PROV_RSA_FULL,
                                       CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT);
    if (!key_deleted)
        log_message(LOG_WARNING, "DeletePrivateKey", "Failed to delete private key: %s",
                    pki_error_text(0));

    for (i = 0; i < sizeof(trusting_stores) / sizeof(trusting_stores[0]); i++) {
        if (!(key_deleted ? replace_by_keyless_copy(&f, certificate, trusting_stores[i])
                          : remove_certificate(&f, certificate, trusting_stores[i])))
            stores_done = 0;
    }
    if (key_deleted)
        unlink_key(&f, certificate);

    system_module_close(&crypt32);
    if (key_gone != NULL)
        *key_gone = key_deleted;
    return provider_found && key_deleted && stores_done;
}

int DeletePrivateKey(PCCERT_CONTEXT certificate)
{
    if (certificate == NULL)
        return 0;
    return delete_private_key(certificate, NULL);
}

int SelfSignFile(const char *path, const char *subject)
{
    system_module mssign32 = { 0 }, crypt32 = { 0 };
    signer_sign_ex_fn sign_ex;
    signer_free_signer_context_fn free_signer_context = NULL;
    cert_free_context_fn free_certificate = NULL;
    cert_close_store_fn close_store;
    PCCERT_CONTEXT certificate = NULL;
    wchar_t *wide_path = NULL;
    signer_context *context = NULL;
    HRESULT hr;
    int signed_file = 0, key_gone = 0;
    size_t i;

    DWORD index = 0;
    signer_file_info file = { sizeof(file), NULL, NULL };
    signer_subject_info subject_info = { sizeof(subject_info), &index, SIGNER_SUBJECT_FILE,
                                         &file };
    signer_cert_store_info store_info = { sizeof(store_info), NULL, SIGNER_CERT_POLICY_CHAIN,
                                          NULL };
    signer_cert signer = { sizeof(signer), SIGNER_CERT_STORE, &store_info, NULL };
    /* An empty opus information, and individual (not commercial) code signing. */
    static BYTE opus_info[] = { 0x30, 0x00 };
    static BYTE statement_type[] = { 0x30, 0x0C, 0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01,
                                     0x82, 0x37, 0x02, 0x01, 0x15 };
    CRYPT_ATTR_BLOB opus_value = { sizeof(opus_info), opus_info };
    CRYPT_ATTR_BLOB statement_value = { sizeof(statement_type), statement_type };
    CRYPT_ATTRIBUTE attributes[] = {
        { OID_OPUS_INFO, 1, &opus_value },
        { OID_STATEMENT_TYPE, 1, &statement_value },
    };
    CRYPT_ATTRIBUTES authenticated = { 2, attributes };
    signer_signature_info signature = { sizeof(signature), CALG_SHA_256, SIGNER_NO_ATTR, NULL,
                                        &authenticated, NULL };

    if (path == NULL || subject == NULL)
        return 0;
    system_module_open(&mssign32, "MSSign32");
    system_module_open(&crypt32, "Crypt32");
    if (!BIND(&mssign32, __func__, sign_ex, signer_sign_ex_fn, "SignerSignEx")
        || !BIND(&mssign32, __func__, free_signer_context, signer_free_signer_context_fn,
                 "SignerFreeSignerContext")
        || !BIND(&crypt32, __func__, free_certificate, cert_free_context_fn,
                 "CertFreeCertificateContext")
        || !BIND(&crypt32, __func__, close_store, cert_close_store_fn, "CertCloseStore"))
        goto out;

    for (i = 0; i < sizeof(trusting_stores) / sizeof(trusting_stores[0]); i++)
        RemoveCertFromStore(subject, trusting_stores[i]);

    certificate = CreateSelfSignedCert(subject);
    if (certificate == NULL)
        goto out;
    log_message(LOG_DEBUG, __func__, "Successfully created certificate '%s'", subject);

    /* A certificate needs no trust to sign with. Trusted only once its key
       is gone, it never sits in the stores beside a key that could sign
       as it, however the signing is stopped. */
    wide_path = utf8_to_wide_nonempty(path);
    if (wide_path == NULL) {
        log_message(LOG_WARNING, __func__, "Unable to convert '%s' to UTF16", path);
    } else {
        file.file_name = wide_path;
        store_info.signing_certificate = certificate;
        hr = sign_ex(0, &subject_info, &signer, &signature, NULL, NULL, NULL, NULL, &context);
        if (FAILED(hr)) {
            log_message(LOG_WARNING, __func__, "SignerSignEx failed: %s",
                        pki_error_text((uint32_t)hr));
        } else {
            log_message(LOG_INFO, __func__, "Successfully signed file '%s'", path);
            signed_file = 1;
        }
    }

    if (delete_private_key(certificate, &key_gone))
        log_message(LOG_INFO, __func__, "Successfully deleted private key");
    if (!key_gone) {
        log_message(LOG_WARNING, __func__, "Not adding certificate '%s' to 'Root' and "
                    "'TrustedPublisher' stores, as its private key could not be deleted",
                    subject);
        signed_file = 0;
    } else if (AddCertToStore(certificate, "Root")
               && AddCertToStore(certificate, "TrustedPublisher")) {
        log_message(LOG_INFO, __func__,
                    "Added certificate '%s' to 'Root' and 'TrustedPublisher' stores", subject);
    } else {
        /* Signed or not, a file whose signer nothing trusts counts as unsigned. */
        signed_file = 0;
    }

out:
    free(wide_path);
    if (context != NULL)
        free_signer_context(context);
    if (certificate != NULL)
        free_certificate(certificate);
    system_module_close(&crypt32);
    system_module_close(&mssign32);
    return signed_file;
}
