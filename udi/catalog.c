/*
 * The security catalog of a driver package: one member per file that the
 * caller names, each with the file's catalog hash, stamped with the
 * device's hardware id and the Windows versions the package is for. The
 * signing then covers exactly the members added here.
 */
#include "internal.h"

#include <mscat.h>
#include <stdlib.h>
#include <string.h>
#include <wintrust.h>

#define ATTRIBUTE_FLAGS  (CRYPTCAT_ATTR_AUTHENTICATED | CRYPTCAT_ATTR_DATAASCII \
                          | CRYPTCAT_ATTR_NAMEASCII)
#define MEMBER_VERSION   0x200
#define ENCODING         X509_ASN_ENCODING

#define OID_PE_IMAGE_DATA "1.3.6.1.4.1.311.2.1.15"
#define OID_FLAT_DATA     "1.3.6.1.4.1.311.2.1.25"
#define OID_SHA1          "1.3.14.3.2.26"

#define SUPPORTED_SYSTEMS L"7_X86,7_X64,8_X86,8_X64,8_ARM,10_X86,10_X64,10_ARM"
#define MEMBER_SYSTEMS    L"2:5.1,2:5.2,2:6.0,2:6.1"
#define OBSOLETE_LINK     L"<<<Obsolete>>>"

/* The largest encoding of either indirect data value, with room to spare. */
#define ENCODED_DATA_SIZE 64

/* The pattern of a folder listing and every path below the root stay within
   the system's classic path limit; the two sums below come from it. */
#define PATH_LIMIT        261

static const GUID pe_image_subject = {
    0xC689AAB8, 0x8E78, 0x11D0, { 0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE }
};
static const GUID flat_image_subject = {
    0xDE351A42, 0x8E59, 0x11D0, { 0x8C, 0x47, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE }
};

char scan_root[SCAN_ROOT_SIZE];

typedef HANDLE(WINAPI *cat_open_fn)(LPWSTR, DWORD, HCRYPTPROV, DWORD, DWORD);
typedef BOOL(WINAPI *cat_close_fn)(HANDLE);
typedef BOOL(WINAPI *cat_persist_fn)(HANDLE);
/* Only looked up, never called: its record is left opaque. */
typedef void *(WINAPI *cat_store_from_handle_fn)(HANDLE);
typedef CRYPTCATATTRIBUTE *(WINAPI *cat_put_cat_attribute_fn)(HANDLE, WCHAR *, DWORD, DWORD,
                                                              BYTE *);
typedef CRYPTCATMEMBER *(WINAPI *cat_put_member_fn)(HANDLE, WCHAR *, WCHAR *, GUID *, DWORD,
                                                    DWORD, BYTE *);
typedef CRYPTCATATTRIBUTE *(WINAPI *cat_put_attribute_fn)(HANDLE, CRYPTCATMEMBER *, WCHAR *,
                                                          DWORD, DWORD, BYTE *);
typedef BOOL(WINAPI *crypt_encode_object_fn)(DWORD, LPCSTR, const void *, BYTE *, DWORD *);
typedef BOOL(WINAPI *calc_hash_fn)(HANDLE, DWORD *, BYTE *, DWORD);

/* Looks name up in module into pointer, of its own type; false when it is missing. */
#define BIND(module, caller, pointer, type, name) \
    (((pointer) = (type)system_module_function((module), (name), (caller))) != NULL)

/* The byte size of a UTF-16 text with its terminator, as the attributes store it. */
static DWORD wide_size(const wchar_t *text)
{
    return (DWORD)((wcslen(text) + 1) * sizeof(wchar_t));
}

/*
 * A lower-case UTF-16 copy of a UTF-8 text (free it), or NULL. The file
 * system compares names without regard to case in every script, not only
 * in ASCII; the invariant rules keep the result the same on every machine.
 */
static wchar_t *lower_wide_copy(const char *text)
{
    wchar_t *wide = utf8_to_wide(text);
    int length;

    if (wide == NULL)
        return NULL;
    length = (int)wcslen(wide);
    if (length > 0
        && LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, wide, length, wide, length) != length) {
        free(wide);
        return NULL;
    }
    return wide;
}

/* The same copy in UTF-8 (free it), or NULL. */
static char *lower_utf8_copy(const char *text)
{
    wchar_t *wide = lower_wide_copy(text);
    char *lower;

    if (wide == NULL)
        return NULL;
    lower = wide_to_utf8(wide);
    free(wide);
    return lower;
}

/* The absolute form of path in UTF-8 (free it), or NULL with the last error set. */
static char *get_full_path_utf8(const wchar_t *path)
{
    DWORD size = GetFullPathNameW(path, 0, NULL, NULL);
    DWORD length;
    wchar_t *full;
    char *utf8;

    if (size == 0)
        return NULL;
    full = calloc(size, sizeof(wchar_t));
    if (full == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    length = GetFullPathNameW(path, size, full, NULL);
    utf8 = length > 0 && length < size ? wide_to_utf8(full) : NULL;
    free(full);
    return utf8;
}

int normalize_full_path(const char *path, char *out, size_t size)
{
    char *copy, *full = NULL;
    wchar_t *wide = NULL;
    int fitted = 0;
    size_t i;

    if (path == NULL || out == NULL || size == 0)
        return 0;
    copy = _strdup(path);
    if (copy == NULL)
        return 0;
    for (i = 0; copy[i] != '\0'; i++) {
        if (copy[i] == '/')
            copy[i] = '\\';
    }
    wide = utf8_to_wide_nonempty(copy);
    if (wide == NULL)
        goto out;
    full = get_full_path_utf8(wide);
    if (full == NULL || strlen(full) >= size)
        goto out;
    memcpy(out, full, strlen(full) + 1);
    fitted = 1;

out:
    free(full);
    free(wide);
    free(copy);
    return fitted;
}

/* "C:\pkg\" lists "C:\pkg\\amd64": the members' paths join at one separator. */
static void drop_trailing_separators(char *path)
{
    size_t length = strlen(path);

    while (length > 0 && path[length - 1] == '\\')
        path[--length] = '\0';
}

int CalcHash(uint8_t hash[CATALOG_HASH_SIZE], const char *path)
{
    system_module wintrust = { 0 };
    calc_hash_fn calc_hash;
    HANDLE file = INVALID_HANDLE_VALUE;
    wchar_t *wide = NULL;
    DWORD size = CATALOG_HASH_SIZE;
    int computed = 0;

    if (hash == NULL || path == NULL)
        return 0;
    system_module_open(&wintrust, "WinTrust");
    if (!BIND(&wintrust, __func__, calc_hash, calc_hash_fn,
              "CryptCATAdminCalcHashFromFileHandle"))
        goto out;
    wide = utf8_to_wide_nonempty(path);
    if (wide == NULL)
        goto out;
    file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        goto out;
    /* Anything but the 20 bytes asked for would not be the hash the
       catalog's members carry. */
    computed = calc_hash(file, &size, hash, 0) && size == CATALOG_HASH_SIZE;

out:
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    free(wide);
    system_module_close(&wintrust);
    return computed;
}

/* The text after the last dot, not counting a dot that starts the name; NULL without one. */
static const wchar_t *extension_of(const wchar_t *name)
{
    const wchar_t *dot = wcsrchr(name, L'.');

    return dot != NULL && dot != name ? dot + 1 : NULL;
}

int AddFileHash(HANDLE catalog, const char *file_name, const uint8_t hash[CATALOG_HASH_SIZE])
{
    static const char hex_digits[] = "0123456789ABCDEF";
    system_module wintrust = { 0 }, crypt32 = { 0 };
    cat_put_member_fn put_member;
    cat_put_attribute_fn put_attribute;
    crypt_encode_object_fn encode_object;
    wchar_t tag[2 * CATALOG_HASH_SIZE + 1];
    wchar_t *name = NULL;
    const wchar_t *extension;
    BYTE flags_byte = 0xA0;
    SPC_LINK link;
    SPC_PE_IMAGE_DATA image;
    BYTE encoded[ENCODED_DATA_SIZE];
    DWORD encoded_size = sizeof(encoded);
    SIP_INDIRECT_DATA indirect;
    GUID subject;
    const char *data_type;
    BOOL was_encoded;
    CRYPTCATMEMBER *member;
    size_t i;
    int added = 0;

    if (catalog == NULL || file_name == NULL || hash == NULL)
        return 0;
    system_module_open(&wintrust, "WinTrust");
    system_module_open(&crypt32, "Crypt32");
    if (!BIND(&wintrust, __func__, put_member, cat_put_member_fn, "CryptCATPutMemberInfo")
        || !BIND(&wintrust, __func__, put_attribute, cat_put_attribute_fn, "CryptCATPutAttrInfo")
        || !BIND(&crypt32, __func__, encode_object, crypt_encode_object_fn, "CryptEncodeObject"))
        goto out;

    for (i = 0; i < CATALOG_HASH_SIZE; i++) {
        tag[2 * i] = (wchar_t)hex_digits[hash[i] >> 4];
        tag[2 * i + 1] = (wchar_t)hex_digits[hash[i] & 0x0F];
    }
    tag[2 * CATALOG_HASH_SIZE] = L'\0';

    name = lower_wide_copy(file_name);
    if (name == NULL)
        goto out;

    memset(&link, 0, sizeof(link));
    link.dwLinkChoice = SPC_FILE_LINK_CHOICE;
    link.pwszFile = (LPWSTR)OBSOLETE_LINK;
    extension = extension_of(name);
    if (extension != NULL && (wcscmp(extension, L"dll") == 0 || wcscmp(extension, L"sys") == 0
                              || wcscmp(extension, L"exe") == 0)) {
        log_message(LOG_DEBUG, __func__, "'%s': PE type", file_name);
        memset(&image, 0, sizeof(image));
        image.Flags.cbData = 1;
        image.Flags.pbData = &flags_byte;
        image.Flags.cUnusedBits = 0;
        image.pFile = &link;
        subject = pe_image_subject;
        data_type = OID_PE_IMAGE_DATA;
        was_encoded = encode_object(ENCODING, data_type, &image, encoded, &encoded_size);
    } else if (extension != NULL && wcscmp(extension, L"inf") == 0) {
        log_message(LOG_DEBUG, __func__, "'%s': INF type", file_name);
        subject = flat_image_subject;
        data_type = OID_FLAT_DATA;
        was_encoded = encode_object(ENCODING, data_type, &link, encoded, &encoded_size);
    } else {
        log_message(LOG_WARNING, __func__, "Unhandled file type: '%s' - ignoring", file_name);
        goto out;
    }
    if (!was_encoded) {
        log_message(LOG_WARNING, __func__, "Unable to encode SPC Image Data: %s",
                    pki_error_text(0));
        goto out;
    }

    memset(&indirect, 0, sizeof(indirect));
    indirect.Data.pszObjId = (LPSTR)data_type;
    indirect.Data.Value.cbData = encoded_size;
    indirect.Data.Value.pbData = encoded;
    indirect.DigestAlgorithm.pszObjId = (LPSTR)OID_SHA1;
    indirect.Digest.cbData = CATALOG_HASH_SIZE;
    indirect.Digest.pbData = (BYTE *)hash;
    member = put_member(catalog, NULL, tag, &subject, MEMBER_VERSION, sizeof(indirect),
                        (BYTE *)&indirect);
    if (member == NULL) {
        log_message(LOG_WARNING, __func__, "Unable to create cat entry for file '%s': %s",
                    file_name, pki_error_text(0));
        goto out;
    }
    if (put_attribute(catalog, member, (LPWSTR)L"File", ATTRIBUTE_FLAGS, wide_size(name),
                      (BYTE *)name) == NULL
        || put_attribute(catalog, member, (LPWSTR)L"OSAttr", ATTRIBUTE_FLAGS,
                         wide_size(MEMBER_SYSTEMS), (BYTE *)MEMBER_SYSTEMS) == NULL) {
        log_message(LOG_WARNING, __func__, "Unable to create attributes for file '%s': %s",
                    file_name, pki_error_text(0));
        goto out;
    }
    added = 1;

out:
    free(name);
    system_module_close(&crypt32);
    system_module_close(&wintrust);
    return added;
}

/* A new text of the parts one after the other (free it), or NULL. */
static char *joined(const char *a, const char *b, const char *c, const char *d)
{
    size_t size = strlen(a) + strlen(b) + strlen(c) + strlen(d) + 1;
    char *text = malloc(size);

    if (text != NULL)
        format_unbounded(text, "%s%s%s%s", a, b, c, d);
    return text;
}

/* The member of one listed file found in scan_root + relative_folder. */
static void add_listed_file(HANDLE catalog, const char *relative_folder, const char *name,
                            const char *lower_name)
{
    uint8_t hash[CATALOG_HASH_SIZE];
    char *path = joined(scan_root, relative_folder, "\\", name);

    if (path == NULL) {
        log_message(LOG_WARNING, "ScanDirAndHash", "could not add hash for '%s%s\\%s' - ignored",
                    scan_root, relative_folder, name);
        return;
    }
    /* A cut path would name another file, or none: its hash must not
       stand for this one. */
    if (strlen(path) > MAX_PATH - 1) {
        log_message(LOG_WARNING, "ScanDirAndHash", "path of '%s' is too long - ignored", path);
    } else if (CalcHash(hash, path) && AddFileHash(catalog, lower_name, hash)) {
        log_message(LOG_INFO, "ScanDirAndHash", "added hash for '%s'", path);
    } else {
        log_message(LOG_WARNING, "ScanDirAndHash", "could not add hash for '%s' - ignored", path);
    }
    free(path);
}

/* One entry of a folder listing: a folder to go into, a listed file, or neither. */
static void scan_entry(HANDLE catalog, const char *relative_folder, const WIN32_FIND_DATAW *entry,
                       const char *const *names, uint32_t count)
{
    char *name = wide_to_utf8(entry->cFileName);
    char *lower_name = NULL;
    char *below;
    uint32_t i;

    if (name == NULL)
        return;
    if (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            goto out;
        /* Only this folder is passed over: its siblings may still hold
           listed files. */
        if (strlen(relative_folder) + strlen(name) + 2 > PATH_LIMIT) {
            log_message(LOG_WARNING, "ScanDirAndHash", "path overflow");
            goto out;
        }
        below = joined(relative_folder, "\\", name, "");
        if (below != NULL)
            ScanDirAndHash(catalog, below, names, count);
        free(below);
        goto out;
    }

    lower_name = lower_utf8_copy(name);
    for (i = 0; lower_name != NULL && i < count; i++) {
        if (names[i] != NULL && strcmp(lower_name, names[i]) == 0) {
            add_listed_file(catalog, relative_folder, name, lower_name);
            break;
        }
    }

out:
    free(lower_name);
    free(name);
}

void ScanDirAndHash(HANDLE catalog, const char *relative_folder, const char *const *names,
                    uint32_t count)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing;
    char *pattern;
    wchar_t *wide_pattern;
    DWORD error;

    if (relative_folder == NULL)
        return;
    if (strlen(scan_root) + strlen(relative_folder) + 4 > PATH_LIMIT) {
        log_message(LOG_WARNING, __func__, "Path overflow");
        return;
    }
    pattern = joined(scan_root, relative_folder, "\\*", "");
    wide_pattern = pattern != NULL ? utf8_to_wide_nonempty(pattern) : NULL;
    free(pattern);
    if (wide_pattern == NULL)
        return;
    listing = FindFirstFileW(wide_pattern, &entry);
    free(wide_pattern);
    if (listing == INVALID_HANDLE_VALUE)
        return;

    do {
        scan_entry(catalog, relative_folder, &entry, names, count);
    } while (FindNextFileW(listing, &entry));

    /* Any other ending is a folder that could not be read to its end: say
       so rather than loop on an entry that never comes. */
    error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        log_message(LOG_WARNING, __func__, "could not list '%s%s': %s", scan_root,
                    relative_folder, windows_error_text(error));
    FindClose(listing);
}

/* The caller's names, each lower-cased; NULL only when the list itself could not be had. */
static char **lower_case_list(const char **names, uint32_t count)
{
    char **copies = calloc(count > 0 ? count : 1, sizeof(char *));
    uint32_t i;

    if (copies == NULL)
        return NULL;
    for (i = 0; i < count; i++) {
        copies[i] = names[i] != NULL ? lower_utf8_copy(names[i]) : NULL;
        if (copies[i] == NULL)
            log_message(LOG_WARNING, "CreateCat", "'%s' could not be duplicated and will be ignored",
                        names[i] != NULL ? names[i] : "(null)");
    }
    return copies;
}

static void free_list(char **list, uint32_t count)
{
    uint32_t i;

    for (i = 0; list != NULL && i < count; i++)
        free(list[i]);
    free(list);
}

int CreateCat(const char *cat_path, const char *hardware_id, const char *folder,
              const char **names, uint32_t count)
{
    system_module wintrust = { 0 };
    cat_open_fn cat_open;
    cat_close_fn cat_close;
    cat_persist_fn cat_persist;
    cat_store_from_handle_fn store_from_handle;
    cat_put_cat_attribute_fn put_cat_attribute;
    HCRYPTPROV provider = 0;
    wchar_t *wide_path = NULL, *wide_id = NULL;
    HANDLE catalog = INVALID_HANDLE_VALUE;
    char **lower_names = NULL;
    int written = 0;
    DWORD error;

    if (cat_path == NULL || hardware_id == NULL || folder == NULL
        || (names == NULL && count > 0))
        return 0;
    system_module_open(&wintrust, "WinTrust");
    if (!BIND(&wintrust, __func__, cat_open, cat_open_fn, "CryptCATOpen")
        || !BIND(&wintrust, __func__, cat_close, cat_close_fn, "CryptCATClose")
        || !BIND(&wintrust, __func__, cat_persist, cat_persist_fn, "CryptCATPersistStore")
        || !BIND(&wintrust, __func__, store_from_handle, cat_store_from_handle_fn,
                 "CryptCATStoreFromHandle")
        || !BIND(&wintrust, __func__, put_cat_attribute, cat_put_cat_attribute_fn,
                 "CryptCATPutCatAttrInfo"))
        goto out;
    (void)store_from_handle;

    if (!CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        provider = 0;
        log_message(LOG_WARNING, __func__, "Unable to acquire crypt context for cat creation");
        goto out;
    }

    wide_path = utf8_to_wide_nonempty(cat_path);
    wide_id = lower_wide_copy(hardware_id);
    if (wide_path == NULL || wide_id == NULL || wide_id[0] == L'\0') {
        log_message(LOG_WARNING, __func__, "Unable to convert '%s' or '%s' to UTF-16", cat_path,
                    hardware_id);
        goto out;
    }

    catalog = cat_open(wide_path, CRYPTCAT_OPEN_CREATENEW, provider, 0, 0);
    if (catalog == INVALID_HANDLE_VALUE || catalog == NULL) {
        catalog = INVALID_HANDLE_VALUE;
        log_message(LOG_WARNING, __func__, "Unable to create file '%s': %s", cat_path,
                    pki_error_text(0));
        goto out;
    }

    if (put_cat_attribute(catalog, (LPWSTR)L"HWID1", ATTRIBUTE_FLAGS, wide_size(wide_id),
                          (BYTE *)wide_id) == NULL) {
        log_message(LOG_WARNING, __func__, "Failed to set HWID1 cat attribute: %s",
                    pki_error_text(0));
        goto out;
    }
    if (put_cat_attribute(catalog, (LPWSTR)L"OS", ATTRIBUTE_FLAGS, wide_size(SUPPORTED_SYSTEMS),
                          (BYTE *)SUPPORTED_SYSTEMS) == NULL) {
        log_message(LOG_WARNING, __func__, "Failed to set OS cat attribute: %s",
                    pki_error_text(0));
        goto out;
    }

    if (!normalize_full_path(folder, scan_root, sizeof(scan_root))) {
        scan_root[0] = '\0';
        log_message(LOG_WARNING, __func__, "Unable to get full path for '%s'.\n", folder);
        goto out;
    }
    drop_trailing_separators(scan_root);

    lower_names = lower_case_list(names, count);
    if (lower_names == NULL) {
        log_message(LOG_WARNING, __func__, "Unable allocate local file list");
        goto out;
    }
    ScanDirAndHash(catalog, "", (const char *const *)lower_names, count);

    if (!cat_persist(catalog)) {
        log_message(LOG_WARNING, __func__, "Unable to sort file: %s", pki_error_text(0));
        goto out;
    }
    log_message(LOG_INFO, __func__, "Successfully created file '%s'", cat_path);
    written = 1;

out:
    free_list(lower_names, count);
    scan_root[0] = '\0';
    if (catalog != INVALID_HANDLE_VALUE) {
        cat_close(catalog);
        /* Opening for creation already made the file: a catalog that was
           not written whole must not be taken for the package's. */
        if (!written && !DeleteFileW(wide_path)) {
            error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND)
                log_message(LOG_WARNING, __func__, "Unable to delete '%s': %s", cat_path,
                            windows_error_text(error));
        }
    }
    free(wide_id);
    free(wide_path);
    if (provider != 0)
        CryptReleaseContext(provider, 0);
    system_module_close(&wintrust);
    return written;
}
