/*
 * The preparation of a driver package for one listed device: the payload
 * written into the package folder, the INF made from the driver kind's
 * template (UTF-16LE with a byte-order mark, as the system's INF parser
 * wants it), and, for an administrator, the security catalog over the
 * package, self-signed.
 *
 * The whole call holds the operation lock "udi_prepare_driver": the token
 * table, the version cache and the package's file names are the library's
 * own and shared by every preparation of the process.
 */
#include "internal.h"

#include <objbase.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "sign.h"

#define PREPARE "udi_prepare_driver"

/* What the Android tools look for on a device they can talk to. */
#define ANDROID_INTERFACE_GUID "{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}"

/* The KMDF co-installer the packages carry: WdfCoInstaller01011.dll, KMDF 1.11. */
#define KMDF_MAJOR 1
#define KMDF_MINOR 11

/* What the catalog is stamped with and its certificate named after. */
#define HARDWARE_ID_TEXT_SIZE 40
#define SUBJECT_SIZE 64

#define UTF8_BYTE_ORDER_MARK "\xEF\xBB\xBF"

inf_token inf_tokens[INF_TOKEN_COUNT + 1] = {
    { "INF_FILENAME", "" },
    { "CAT_FILENAME", "" },
    { "DEVICE_DESCRIPTION", "" },
    { "DEVICE_HARDWARE_ID", "" },
    { "DEVICE_INTERFACE_GUID", "" },
    { "DEVICE_MANUFACTURER", "" },
    { "DRIVER_DATE", "" },
    { "DRIVER_VERSION", "" },
    { "USE_DEVICE_INTERFACE_GUID", "" },
    { "WDF_VERSION", "" },
    { "KMDF_VERSION", "" },
    { "LK_COMMA", "" },
    { "LK_DLL", "" },
    { "LK_X86_DLL", "" },
    { "LK_EQ_X86", "" },
    { "LK_EQ_X64", "" },
    { NULL, "" },
};

int64_t tokenize_embedded_template(const char *template_name, char **out,
                                   const inf_token *tokens)
{
    const embedded_file *row = find_embedded_template(template_name);

    if (row == NULL)
        return TEMPLATE_NOT_FOUND;
    return replace_tokens((const char *)row->data, (size_t)row->size, out, tokens, "#", "#");
}

/* A value cut, as every value is, to what its buffer holds. */
static void set_token(enum inf_token_index index, const char *format, ...) UDI_PRINTF_LIKE(2, 3);

static void set_token(enum inf_token_index index, const char *format, ...)
{
    va_list arguments;

    va_start(arguments, format);
    format_truncated_va(inf_tokens[index].value, sizeof(inf_tokens[index].value), format,
                        arguments);
    va_end(arguments);
}

/* A text from the device or a vendor, which goes between an INF string's quotes. */
static void set_outside_text(enum inf_token_index index, const char *text)
{
    inf_string_value(inf_tokens[index].value, sizeof(inf_tokens[index].value), text);
}

/* The system functions a preparation calls, bound at run time. */

typedef HRESULT(WINAPI *co_create_guid_fn)(GUID *);
typedef BOOL(WINAPI *file_time_to_local_fn)(const FILETIME *, LPFILETIME);
typedef BOOL(WINAPI *file_time_to_system_fn)(const FILETIME *, LPSYSTEMTIME);
typedef void(WINAPI *get_local_time_fn)(LPSYSTEMTIME);
typedef int(WINAPI *multi_byte_to_wide_fn)(UINT, DWORD, LPCCH, int, LPWSTR, int);
typedef BOOL(WINAPI *is_user_an_admin_fn)(void);

typedef struct preparation_functions {
    system_module ole32, kernel32, shell32;
    co_create_guid_fn co_create_guid;
    file_time_to_local_fn file_time_to_local;
    file_time_to_system_fn file_time_to_system;
    get_local_time_fn get_local_time;
    multi_byte_to_wide_fn multi_byte_to_wide;
    is_user_an_admin_fn is_user_an_admin;
} preparation_functions;

#define BIND(module, pointer, type, name) \
    (((pointer) = (type)system_module_function((module), (name), PREPARE)) != NULL)

static int bind_functions(preparation_functions *f)
{
    system_module_open(&f->ole32, "Ole32");
    system_module_open(&f->kernel32, "Kernel32");
    system_module_open(&f->shell32, "Shell32");
    if (!BIND(&f->ole32, f->co_create_guid, co_create_guid_fn, "CoCreateGuid")
        || !BIND(&f->kernel32, f->file_time_to_local, file_time_to_local_fn,
                 "FileTimeToLocalFileTime")
        || !BIND(&f->kernel32, f->file_time_to_system, file_time_to_system_fn,
                 "FileTimeToSystemTime")
        || !BIND(&f->kernel32, f->get_local_time, get_local_time_fn, "GetLocalTime")
        || !BIND(&f->kernel32, f->multi_byte_to_wide, multi_byte_to_wide_fn,
                 "MultiByteToWideChar"))
        return 0;
    f->is_user_an_admin = (is_user_an_admin_fn)system_module_ordinal(
        &f->shell32, IS_USER_AN_ADMIN_ORDINAL, "IsUserAnAdmin", PREPARE);
    return f->is_user_an_admin != NULL;
}

static void release_functions(preparation_functions *f)
{
    system_module_close(&f->shell32);
    system_module_close(&f->kernel32);
    system_module_close(&f->ole32);
}

/* The token values. */

static int matches_compatible_id(const udi_prepare_options *options)
{
    return options != NULL && options->match_by_compatible_id;
}

static void set_hardware_id(const udi_device_node *device, const udi_prepare_options *options,
                            const driver_kind_info *kind)
{
    if (matches_compatible_id(options))
        set_token(TOKEN_DEVICE_HARDWARE_ID, "%s", kind->compatible_id);
    else if (device->has_interface_number)
        set_token(TOKEN_DEVICE_HARDWARE_ID, "VID_%04X&PID_%04X&MI_%02X", device->vendor_id,
                  device->product_id, device->interface_number);
    else
        set_token(TOKEN_DEVICE_HARDWARE_ID, "VID_%04X&PID_%04X", device->vendor_id,
                  device->product_id);
}

/* UDI_OK with the interface GUID set; a GUID that cannot be made is not guessed at. */
static udi_result set_interface_guid(const preparation_functions *f,
                                     const udi_device_node *device,
                                     const udi_prepare_options *options)
{
    GUID guid;
    HRESULT hr;

    if (matches_compatible_id(options)) {
        set_token(TOKEN_DEVICE_INTERFACE_GUID, "%s", "UNUSED");
        return UDI_OK;
    }
    if (options != NULL && options->interface_guid != NULL) {
        set_token(TOKEN_DEVICE_INTERFACE_GUID, "%s", options->interface_guid);
        return UDI_OK;
    }
    if (is_android_device(device->vendor_id, device->product_id)) {
        log_message(LOG_INFO, PREPARE, "Using Android Device Interface GUID");
        set_token(TOKEN_DEVICE_INTERFACE_GUID, "%s", ANDROID_INTERFACE_GUID);
        return UDI_OK;
    }
    hr = f->co_create_guid(&guid);
    if (FAILED(hr)) {
        log_message(LOG_ERROR, PREPARE, "Could not create a device interface GUID: %s",
                    windows_error_text((uint32_t)hr));
        return UDI_ERR_OUT_OF_RESOURCES;
    }
    set_token(TOKEN_DEVICE_INTERFACE_GUID,
              "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)guid.Data1,
              guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
              guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return UDI_OK;
}

static void set_manufacturer(const udi_device_node *device, const udi_prepare_options *options)
{
    const char *name = NULL;

    if (options != NULL && options->manufacturer_name != NULL)
        name = options->manufacturer_name;
    else
        name = lookup_vendor_name(device->vendor_id);
    set_outside_text(TOKEN_DEVICE_MANUFACTURER, name != NULL ? name : "(Undefined Vendor)");
}

/* The local date of the record's file date, or today's when it has none. */
static void set_driver_date(const preparation_functions *f, const VS_FIXEDFILEINFO *record)
{
    FILETIME utc = { record->dwFileDateLS, record->dwFileDateMS };
    FILETIME local;
    SYSTEMTIME date;

    if ((utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0)
        || !f->file_time_to_local(&utc, &local) || !f->file_time_to_system(&local, &date))
        f->get_local_time(&date);
    set_token(TOKEN_DRIVER_DATE, "%02d/%02d/%04d", date.wMonth, date.wDay, date.wYear);
}

static void set_driver_version(const VS_FIXEDFILEINFO *record)
{
    set_token(TOKEN_DRIVER_VERSION, "%u.%u.%u.%u", (unsigned)HIWORD(record->dwFileVersionMS),
              (unsigned)LOWORD(record->dwFileVersionMS), (unsigned)HIWORD(record->dwFileVersionLS),
              (unsigned)LOWORD(record->dwFileVersionLS));
}

/* The package. */

/* The kind to prepare, refreshing its version record; below 0 a result. */
static int choose_kind(const udi_prepare_options *options)
{
    udi_driver_kind kind = options != NULL ? options->driver_kind : UDI_DRIVER_WINUSB;
    udi_driver_kind fallback;

    if (options != NULL && (uint32_t)kind > UDI_DRIVER_USER) {
        log_message(LOG_ERROR, PREPARE, "Program assertion failed - Unknown driver type");
        return UDI_ERR_BAD_ARGUMENT;
    }
    if (udi_is_driver_supported(kind, kind <= UDI_DRIVER_USB_CDC ? &driver_version_cache[kind]
                                                                 : NULL))
        return kind;
    for (fallback = 0; fallback <= UDI_DRIVER_USER; fallback++) {
        if (udi_is_driver_supported(fallback, fallback <= UDI_DRIVER_USB_CDC
                                                  ? &driver_version_cache[fallback]
                                                  : NULL)) {
            log_message(LOG_WARNING, PREPARE, "unsupported or no driver type specified, will use %s",
                        driver_kind_info_of(fallback)->display_name);
            return fallback;
        }
    }
    log_message(LOG_WARNING, PREPARE, "Program assertion failed - no driver supported");
    return UDI_ERR_MISSING;
}

static void set_libusbk_dlls(void)
{
    log_message(LOG_INFO, PREPARE,
                "K driver available - adding the libusbK DLLs to the libusb-win32 inf");
    set_token(TOKEN_LK_COMMA, "%s", ",");
    set_token(TOKEN_LK_DLL, "%s", "libusbk.dll");
    set_token(TOKEN_LK_X86_DLL, "%s", "libusbk_x86.dll");
    set_token(TOKEN_LK_EQ_X86, "%s", "= 1,x86");
    set_token(TOKEN_LK_EQ_X64, "%s", "= 1,amd64");
}

/*
 * Writes the INF: the byte-order mark FF FE, then the text in UTF-16LE
 * without a terminator. The libusbK template carries a UTF-8 mark of its
 * own, which would come out as a second mark inside the text: it is left
 * out.
 */
static udi_result write_inf(const preparation_functions *f, const char *path, const char *text,
                            size_t length)
{
    static const unsigned char utf16_mark[] = { 0xFF, 0xFE };
    const size_t mark_length = sizeof(UTF8_BYTE_ORDER_MARK) - 1;
    wchar_t *wide = NULL;
    int wide_length = 0;
    FILE *file;
    int written;

    if (length >= mark_length && memcmp(text, UTF8_BYTE_ORDER_MARK, mark_length) == 0) {
        text += mark_length;
        length -= mark_length;
    }

    file = fopen_as_userU(path, "w");
    if (file == NULL) {
        log_message(LOG_ERROR, PREPARE, "Failed to create file: %s", path);
        return UDI_ERR_FILE_ACCESS;
    }

    if (length > 0) {
        if (length <= INT32_MAX)
            wide_length = f->multi_byte_to_wide(CP_UTF8, 0, text, (int)length, NULL, 0);
        if (wide_length > 0)
            wide = calloc((size_t)wide_length, sizeof(wchar_t));
        if (wide == NULL
            || f->multi_byte_to_wide(CP_UTF8, 0, text, (int)length, wide, wide_length)
                   != wide_length) {
            log_message(LOG_ERROR, PREPARE, "Could not convert '%s' to UTF-16", text);
            free(wide);
            fclose(file);
            return UDI_ERR_OUT_OF_RESOURCES;
        }
    }

    /* A short INF would be installed as far as it goes. */
    written = fwrite(utf16_mark, 1, sizeof(utf16_mark), file) == sizeof(utf16_mark)
        && fwrite(wide, sizeof(wchar_t), (size_t)wide_length, file) == (size_t)wide_length;
    if (fclose(file) != 0)
        written = 0;
    free(wide);
    if (!written) {
        log_message(LOG_ERROR, PREPARE, "Could not write file '%s'", path);
        return UDI_ERR_FILE_ACCESS;
    }
    log_message(LOG_INFO, PREPARE, "Successfully created '%s'", path);
    return UDI_OK;
}

/* The catalog over the package, and its signature; neither decides the result. */
static udi_result make_catalog(const char *folder, const char *inf_file_name,
                               const char *cat_path, const driver_kind_info *kind,
                               const udi_prepare_options *options)
{
    char *text = NULL;
    int64_t length;
    int listed;
    catalog_list list;
    char hardware_id[HARDWARE_ID_TEXT_SIZE];
    char subject[SUBJECT_SIZE];

    length = tokenize_embedded_template(kind->cat_template, &text, inf_tokens);
    if (length < 1) {
        log_message(LOG_ERROR, PREPARE, "Could not tokenize cat file (%d)", (int)length);
        free(text);
        return UDI_ERR_FILE_ACCESS;
    }
    listed = cut_catalog_list(text, (size_t)length, inf_file_name, &list);
    free(text);
    if (listed != 0) {
        log_message(LOG_ERROR, PREPARE, "Could not tokenize cat file (%d)", listed);
        return UDI_ERR_FILE_ACCESS;
    }
    if (list.cut)
        log_message(LOG_WARNING, PREPARE, "More than %d cat entries - ignoring the rest",
                    CATALOG_LIST_TEMPLATE_ENTRIES);

    format_truncated(hardware_id, sizeof(hardware_id), "USB\\%s",
                     inf_tokens[TOKEN_DEVICE_HARDWARE_ID].value);
    format_truncated(subject, sizeof(subject), "CN=%s (libudi autogenerated)", hardware_id);

    if (!CreateCat(cat_path, hardware_id, folder, list.names, list.count))
        log_message(LOG_WARNING, PREPARE, "Could not create cat file");
    else if (options != NULL && !options->skip_signing
             && !SelfSignFile(cat_path, options->signer_subject != NULL ? options->signer_subject
                                                                         : subject))
        log_message(LOG_WARNING, PREPARE, "Could not sign cat file");
    free_catalog_list(&list);
    return UDI_OK;
}

static udi_result prepare(const udi_device_node *device, const char *folder,
                          const char *inf_file_name, const udi_prepare_options *options)
{
    preparation_functions functions = { 0 };
    const driver_kind_info *kind_info;
    const VS_FIXEDFILEINFO *record;
    char *temp = NULL, *text = NULL;
    char package_folder[MAX_PATH];
    char inf_path[MAX_PATH], cat_path[MAX_PATH];
    size_t name_length;
    int64_t length;
    int kind;
    udi_result r;

    if (device == NULL || inf_file_name == NULL) {
        log_message(LOG_ERROR, PREPARE, "One of the required parameter is NULL");
        return UDI_ERR_BAD_ARGUMENT;
    }
    name_length = strlen(inf_file_name);
    if (name_length < 4 || strcmp(inf_file_name + name_length - 4, ".inf") != 0) {
        log_message(LOG_ERROR, PREPARE, "Inf name provided must have a '.inf' extension");
        return UDI_ERR_BAD_ARGUMENT;
    }
    if (!bind_functions(&functions)) {
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    if (folder == NULL) {
        temp = getenv_utf8("TEMP");
        if (temp == NULL) {
            log_message(LOG_ERROR, PREPARE, "No path provided and unable to use TEMP");
            r = UDI_ERR_BAD_ARGUMENT;
            goto out;
        }
        folder = temp;
        log_message(LOG_INFO, PREPARE, "No path provided - extracting to '%s'", folder);
    }
    /* A cut folder would be another folder, created and filled in its place. */
    if (format_truncated(package_folder, sizeof(package_folder), "%s", folder) < 0) {
        log_message(LOG_ERROR, PREPARE, "Qualified path for inf file is too long: '%s\\%s",
                    folder, inf_file_name);
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    r = check_dir(package_folder, 1);
    if (r != UDI_OK)
        goto out;

    kind = choose_kind(options);
    if (kind < 0) {
        r = kind;
        goto out;
    }
    kind_info = driver_kind_info_of(kind);
    if (kind == UDI_DRIVER_LIBUSB0)
        set_libusbk_dlls();

    if (device->description == NULL) {
        log_message(LOG_ERROR, PREPARE, "The device has no description");
        r = UDI_ERR_BAD_ARGUMENT;
        goto out;
    }

    r = extract_binaries(package_folder);
    if (r != UDI_OK)
        goto out;

    /* Folder, "\" and name within MAX_PATH - 1 characters. */
    if (strlen(package_folder) + name_length > MAX_PATH - 2) {
        log_message(LOG_ERROR, PREPARE, "Qualified path for inf file is too long: '%s\\%s",
                    package_folder, inf_file_name);
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    format_truncated(inf_path, sizeof(inf_path), "%s\\%s", package_folder, inf_file_name);
    format_truncated(cat_path, sizeof(cat_path), "%.*scat", (int)(strlen(inf_path) - 3),
                     inf_path);

    set_token(TOKEN_INF_FILENAME, "%s", inf_file_name);
    set_token(TOKEN_CAT_FILENAME, "%.*scat", (int)(name_length - 3), inf_file_name);
    set_outside_text(TOKEN_DEVICE_DESCRIPTION, device->description);
    set_hardware_id(device, options, kind_info);
    set_token(TOKEN_USE_DEVICE_INTERFACE_GUID, "%s",
              matches_compatible_id(options) ? "NoDeviceInterfaceGUID" : "AddDeviceInterfaceGUID");
    r = set_interface_guid(&functions, device, options);
    if (r != UDI_OK)
        goto out;
    set_manufacturer(device, options);
    set_token(TOKEN_WDF_VERSION, "%05d", KMDF_MAJOR * 1000 + KMDF_MINOR);
    set_token(TOKEN_KMDF_VERSION, "%d.%d", KMDF_MAJOR, KMDF_MINOR);
    record = &driver_version_cache[kind];
    set_driver_date(&functions, record);
    set_driver_version(record);

    length = tokenize_embedded_template(kind_info->inf_template, &text, inf_tokens);
    if (length < 1) {
        log_message(LOG_ERROR, PREPARE, "Could not tokenize inf file (%d)", (int)length);
        r = UDI_ERR_FILE_ACCESS;
        goto out;
    }
    r = write_inf(&functions, inf_path, text, (size_t)length);
    if (r != UDI_OK)
        goto out;

    if (!functions.is_user_an_admin()) {
        log_message(LOG_INFO, PREPARE, "No .cat file generated (missing elevated privileges)");
        goto out;
    }
    if (options != NULL && options->skip_catalog) {
        log_message(LOG_INFO, PREPARE, ".cat generation disabled by user");
        goto out;
    }
    log_message(LOG_INFO, PREPARE, "Creating and self-signing a .cat file...");
    r = make_catalog(package_folder, inf_file_name, cat_path, kind_info, options);

out:
    free(text);
    free(temp);
    release_functions(&functions);
    return r;
}

udi_result udi_prepare_driver(const udi_device_node *device, const char *folder,
                              const char *inf_file_name, const udi_prepare_options *options)
{
    operation_frame frame;
    udi_result r = enter_operation(&frame, PREPARE, 1);

    if (r != UDI_OK)
        return r;
    r = prepare(device, folder, inf_file_name, options);
    leave_operation(&frame);
    return r;
}
