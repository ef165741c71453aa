/*
 * What the library carries for driver packages, and works on: the driver
 * kinds, the table of embedded files (the payload written into every
 * package folder, and the INF and catalog templates kept in memory), the
 * extraction into a package folder, the version record a package states,
 * the Android ids and the vendor-name lookup.
 *
 * The embedded bytes come from headers generated at build time, so this
 * file is compiled with the payload's build (udi/payload/CMakeLists.txt).
 */
#include "internal.h"

#include <objbase.h>
#include <stdlib.h>
#include <string.h>

#include "payload_wdf_coinstaller_amd64.h"
#include "payload_winusb_coinstaller_amd64.h"
#include "payload_libusb0_dll_x86.h"
#include "payload_install_filter_x86.h"
#include "payload_libusb0_dll_amd64.h"
#include "payload_libusb0_sys_amd64.h"
#include "payload_install_filter_amd64.h"
#include "payload_libusb0_licence.h"
#include "payload_libusbk_sys_amd64.h"
#include "payload_libusbk_dll_amd64.h"
#include "payload_libusbk_dll_x86.h"
#include "payload_installer_amd64.h"
#include "template_winusb_inf.h"
#include "template_libusb0_inf.h"
#include "template_libusbk_inf.h"
#include "template_usbser_inf.h"
#include "template_winusb_cat.h"
#include "template_libusb0_cat.h"
#include "template_libusbk_cat.h"
#include "template_usbser_cat.h"

/* Driver kinds. */

static const driver_kind_info driver_kinds[UDI_DRIVER_KIND_COUNT] = {
    { "WinUSB", "winusb.inf.in", "winusb.cat.in", "winusbcoinstaller2.dll", "MS_COMP_WINUSB" },
    { "libusb0.sys", "libusb0.inf.in", "libusb0.cat.in", "libusb0.sys", "MS_COMP_LIBUSB0" },
    { "libusbK.sys", "libusbk.inf.in", "libusbk.cat.in", "libusbK.sys", "MS_COMP_LIBUSBK" },
    { "Generic USB CDC", "usbser.inf.in", "usbser.cat.in", "", "MS_COMP_USBSER" },
    { "user driver", NULL, NULL, NULL, NULL },
};

const driver_kind_info *driver_kind_info_of(udi_driver_kind kind)
{
    if (kind < 0 || kind >= UDI_DRIVER_KIND_COUNT)
        return NULL;
    return &driver_kinds[kind];
}

/*
 * The CDC package states a fixed version, so its record is left alone.
 * Every other kind gets its record emptied first and then read again: the
 * preparation passes the cache entry itself, so that each package states the
 * version of the file it carries now. The read's outcome does not decide
 * support: a package without a version states 0.0.0.0.
 */
int udi_is_driver_supported(udi_driver_kind kind, struct tagVS_FIXEDFILEINFO *out)
{
    if (kind < UDI_DRIVER_USB_CDC) {
        if (out != NULL)
            memset(out, 0, sizeof(*out));
        (void)get_version_info(kind, out);
    }

    switch (kind) {
    case UDI_DRIVER_WINUSB:
    case UDI_DRIVER_LIBUSB0:
    case UDI_DRIVER_LIBUSBK:
    case UDI_DRIVER_USB_CDC:
        return 1;
    case UDI_DRIVER_USER:
        return 0;
    default:
        log_message(LOG_ERROR, "udi_is_driver_supported", "Unknown driver type");
        return 0;
    }
}

/*
 * The table of embedded files. The subfolders, names and time stamps are
 * the table's own. Rows that carry the same file share one array.
 */

/* Each generated array holds one NUL past the file's bytes. */
#define EMBEDDED_ROW(subfolder, file_name, creation_time, bytes) \
    { subfolder, file_name, sizeof(bytes) - 1, creation_time, bytes }

/* Time stamps of the files as the build took them in (UTC). */
#define TIME_KMDF_COINSTALLER    INT64_C(1592901020) /* 2020-06-23 08:30:20 */
#define TIME_WINUSB_COINSTALLER  INT64_C(1592901026) /* 2020-06-23 08:30:26 */
#define TIME_LIBUSB0             INT64_C(1615190401) /* 2021-03-08 08:00:01 */
#define TIME_LIBUSBK             INT64_C(1615190764) /* 2021-03-08 08:06:04 */
#define TIME_INSTALLER           INT64_C(1615189875) /* 2021-03-08 07:51:15 */
#define TIME_TEMPLATES           INT64_C(1615188884) /* 2021-03-08 07:34:44 */

const embedded_file embedded_files[] = {
    EMBEDDED_ROW("amd64", "WdfCoInstaller01011.dll", TIME_KMDF_COINSTALLER,
                 payload_wdf_coinstaller_amd64),
    EMBEDDED_ROW("amd64", "winusbcoinstaller2.dll", TIME_WINUSB_COINSTALLER,
                 payload_winusb_coinstaller_amd64),
    EMBEDDED_ROW("x86", "libusb0_x86.dll", TIME_LIBUSB0, payload_libusb0_dll_x86),
    EMBEDDED_ROW("x86", "install-filter.exe", TIME_LIBUSB0, payload_install_filter_x86),
    EMBEDDED_ROW("amd64", "libusb0_x86.dll", TIME_LIBUSB0, payload_libusb0_dll_x86),
    EMBEDDED_ROW("amd64", "libusb0.dll", TIME_LIBUSB0, payload_libusb0_dll_amd64),
    EMBEDDED_ROW("amd64", "libusb0.sys", TIME_LIBUSB0, payload_libusb0_sys_amd64),
    EMBEDDED_ROW("amd64", "install-filter.exe", TIME_LIBUSB0, payload_install_filter_amd64),
    EMBEDDED_ROW("license\\libusb0", "installer_license.txt", TIME_LIBUSB0,
                 payload_libusb0_licence),
    EMBEDDED_ROW("amd64", "libusbK.sys", TIME_LIBUSBK, payload_libusbk_sys_amd64),
    EMBEDDED_ROW("amd64", "libusbK.dll", TIME_LIBUSBK, payload_libusbk_dll_amd64),
    EMBEDDED_ROW("x86", "libusbK.dll", TIME_LIBUSBK, payload_libusbk_dll_x86),
    EMBEDDED_ROW("amd64", "libusbK_x86.dll", TIME_LIBUSBK, payload_libusbk_dll_x86),
    EMBEDDED_ROW(".", "installer_x64.exe", TIME_INSTALLER, payload_installer_amd64),
    EMBEDDED_ROW("", "winusb.inf.in", TIME_TEMPLATES, template_winusb_inf),
    EMBEDDED_ROW("", "libusb0.inf.in", TIME_TEMPLATES, template_libusb0_inf),
    EMBEDDED_ROW("", "libusbk.inf.in", TIME_TEMPLATES, template_libusbk_inf),
    EMBEDDED_ROW("", "usbser.inf.in", TIME_TEMPLATES, template_usbser_inf),
    EMBEDDED_ROW("", "winusb.cat.in", TIME_TEMPLATES, template_winusb_cat),
    EMBEDDED_ROW("", "libusb0.cat.in", TIME_TEMPLATES, template_libusb0_cat),
    EMBEDDED_ROW("", "libusbk.cat.in", TIME_TEMPLATES, template_libusbk_cat),
    EMBEDDED_ROW("", "usbser.cat.in", TIME_TEMPLATES, template_usbser_cat),
};

const size_t embedded_files_count = sizeof embedded_files / sizeof embedded_files[0];

const embedded_file *find_embedded_file(const char *file_name)
{
    size_t i;

    if (file_name == NULL)
        return NULL;
    for (i = 0; i < embedded_files_count; i++) {
        if (strcmp(embedded_files[i].file_name, file_name) == 0)
            return &embedded_files[i];
    }
    return NULL;
}

const embedded_file *find_embedded_template(const char *file_name)
{
    size_t i;

    if (file_name == NULL)
        return NULL;
    for (i = 0; i < embedded_files_count; i++) {
        if (embedded_files[i].subfolder[0] == '\0'
            && strcmp(embedded_files[i].file_name, file_name) == 0)
            return &embedded_files[i];
    }
    return NULL;
}

/* Writing the payload into a package folder. */

int write_embedded_file(const char *path, const embedded_file *row, const char *mode)
{
    FILE *file = fopen_as_userU(path, mode);
    int written;

    if (file == NULL)
        return UDI_ERR_OUT_OF_RESOURCES;
    /* A short file would make a package that installs a broken driver. */
    written = fwrite(row->data, 1, (size_t)row->size, file) == (size_t)row->size;
    if (fclose(file) != 0)
        written = 0;
    return written ? UDI_OK : UDI_ERR_FILE_ACCESS;
}

static int extract_row(const char *folder, const embedded_file *row)
{
    char path[MAX_PATH];
    int r;

    /* A cut path would create a folder or file of some other name. */
    if (format_truncated(path, sizeof(path), "%s\\%s", folder, row->subfolder) < 0) {
        log_message(LOG_ERROR, "extract_binaries", "Qualified path is too long: '%s'", path);
        return UDI_ERR_OUT_OF_RESOURCES;
    }
    r = check_dir(path, 1);
    if (r != UDI_OK)
        return r;

    if (format_truncated(path, sizeof(path), "%s\\%s\\%s", folder, row->subfolder,
                         row->file_name) < 0) {
        log_message(LOG_ERROR, "extract_binaries", "Qualified path is too long: '%s'", path);
        return UDI_ERR_OUT_OF_RESOURCES;
    }

    r = write_embedded_file(path, row, "w");
    if (r == UDI_ERR_OUT_OF_RESOURCES)
        log_message(LOG_ERROR, "extract_binaries", "Could not create file '%s' (%s)", path,
                    windows_error_text(0));
    else if (r != UDI_OK)
        log_message(LOG_ERROR, "extract_binaries", "Could not write file '%s'", path);
    return r;
}

int extract_binaries(const char *folder)
{
    size_t i;
    int r;

    if (folder == NULL)
        return UDI_ERR_BAD_ARGUMENT;
    for (i = 0; i < embedded_files_count; i++) {
        if (embedded_files[i].subfolder[0] == '\0')
            continue;
        r = extract_row(folder, &embedded_files[i]);
        if (r != UDI_OK)
            return r;
    }
    log_message(LOG_INFO, "extract_binaries", "Successfully extracted driver files to '%s'", folder);
    return UDI_OK;
}

/* The version record of a package. */

/* 1601-01-01 to 1970-01-01 in 100 ns units. */
#define FILE_TIME_OF_1970 UINT64_C(0x019DB1DED53E8000)

VS_FIXEDFILEINFO driver_version_cache[UDI_DRIVER_USB_CDC + 1];

typedef DWORD(WINAPI *get_file_version_info_size_fn)(LPCWSTR, LPDWORD);
typedef BOOL(WINAPI *get_file_version_info_fn)(LPCWSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI *ver_query_value_fn)(LPCVOID, LPCWSTR, LPVOID *, PUINT);

typedef struct version_functions {
    get_file_version_info_size_fn get_size;
    get_file_version_info_fn get_info;
    ver_query_value_fn query_value;
} version_functions;

uint64_t file_time_of_unix_time(int64_t seconds)
{
    return (uint64_t)seconds * UINT64_C(10000000) + FILE_TIME_OF_1970;
}

static int bind_version_functions(system_module *module, version_functions *functions)
{
    functions->get_size = (get_file_version_info_size_fn)system_module_function(
        module, "GetFileVersionInfoSizeW", "get_version_info");
    if (functions->get_size == NULL)
        return 0;
    functions->get_info = (get_file_version_info_fn)system_module_function(
        module, "GetFileVersionInfoW", "get_version_info");
    if (functions->get_info == NULL)
        return 0;
    functions->query_value = (ver_query_value_fn)system_module_function(
        module, "VerQueryValueW", "get_version_info");
    return functions->query_value != NULL;
}

/* Nonzero with the file's root version record in *record. */
static int read_version_record(const version_functions *functions, const wchar_t *path,
                               VS_FIXEDFILEINFO *record)
{
    DWORD handle = 0;
    DWORD size;
    void *block = NULL;
    VS_FIXEDFILEINFO *root = NULL;
    UINT root_size = 0;
    int found = 0;

    size = functions->get_size(path, &handle);
    if (size == 0)
        goto out;
    block = calloc(1, size);
    if (block == NULL)
        goto out;
    if (!functions->get_info(path, 0, size, block))
        goto out;
    if (!functions->query_value(block, L"\\", (LPVOID *)&root, &root_size)
        || root == NULL || root_size < sizeof(*record))
        goto out;
    *record = *root;
    found = 1;

out:
    free(block);
    return found;
}

/*
 * folder\libudi-<the name in 32 hexadecimal digits>.tmp. The program runs
 * elevated and TEMP is the user's: a name known beforehand, such as the
 * version file's own, could be taken by a link to some other file, which
 * the copy would overwrite and then delete. So the copy gets a random name
 * of its own, new at each read, and is only ever created new.
 */
static int format_temporary_path(char *path, size_t size, const char *folder, const GUID *name)
{
    return format_truncated(path, size,
                            "%s\\libudi-%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X.tmp", folder,
                            name->Data1, name->Data2, name->Data3, name->Data4[0], name->Data4[1],
                            name->Data4[2], name->Data4[3], name->Data4[4], name->Data4[5],
                            name->Data4[6], name->Data4[7]);
}

int get_version_info(udi_driver_kind kind, VS_FIXEDFILEINFO *out)
{
    const driver_kind_info *info;
    const embedded_file *row;
    system_module version_module = { 0 };
    version_functions functions;
    char *temp = NULL;
    wchar_t *wide_path = NULL;
    char path[MAX_PATH];
    GUID name;
    VS_FIXEDFILEINFO record;
    uint64_t file_time;
    int file_created = 0;
    int r;

    if (kind < 0 || kind > UDI_DRIVER_USB_CDC || out == NULL)
        return UDI_ERR_BAD_ARGUMENT;
    if (driver_version_cache[kind].dwSignature != 0) {
        *out = driver_version_cache[kind];
        return UDI_OK;
    }

    system_module_open(&version_module, "Version");
    if (!bind_version_functions(&version_module, &functions)) {
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    info = driver_kind_info_of(kind);
    row = find_embedded_file(info->version_file);
    if (row == NULL) {
        r = UDI_ERR_MISSING;
        goto out;
    }

    temp = getenv_utf8("TEMP");
    if (temp == NULL) {
        log_message(LOG_WARNING, "get_version_info", "Unable to use TEMP to extract file");
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    r = check_dir(temp, 1);
    if (r != UDI_OK)
        goto out;

    if (CoCreateGuid(&name) != S_OK) {
        log_message(LOG_WARNING, "get_version_info", "Unable to name a temporary file");
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    /* A cut path would name some other file, which is then deleted. */
    if (format_temporary_path(path, sizeof(path), temp, &name) < 0) {
        log_message(LOG_WARNING, "get_version_info", "Qualified path is too long: '%s'", path);
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    r = write_embedded_file(path, row, "wx");
    /* A file created but written short is deleted too. */
    file_created = r != UDI_ERR_OUT_OF_RESOURCES;
    if (r != UDI_OK) {
        log_message(LOG_WARNING, "get_version_info", "Failed to create file '%s' (%s)", path,
                    windows_error_text(0));
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    wide_path = utf8_to_wide(path);
    if (wide_path == NULL || !read_version_record(&functions, wide_path, &record)) {
        log_message(LOG_WARNING, "get_version_info", "Unable to allocate buffer for version info");
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    /* The package is dated by the build's time stamp, not the file's own date. */
    file_time = file_time_of_unix_time(row->creation_time);
    record.dwFileDateMS = (DWORD)(file_time >> 32);
    record.dwFileDateLS = (DWORD)(file_time & 0xFFFFFFFFu);
    driver_version_cache[kind] = record;
    *out = record;
    r = UDI_OK;

out:
    if (file_created) {
        DWORD last_error = GetLastError();
        wchar_t *delete_path = wide_path != NULL ? wide_path : utf8_to_wide(path);

        if (delete_path != NULL)
            DeleteFileW(delete_path);
        if (delete_path != wide_path)
            free(delete_path);
        SetLastError(last_error);
    }
    free(wide_path);
    free(temp);
    system_module_close(&version_module);
    return r;
}

/* Android devices. */

/* 18D1:708C is listed twice; a lookup finds either. */
const android_device_id android_device_ids[] = {
    { 0x0451, 0xD022 }, { 0x0451, 0xD101 },
    { 0x0489, 0xC001 },
    { 0x04E8, 0x685B }, { 0x04E8, 0x685C }, { 0x04E8, 0x685D }, { 0x04E8, 0x685E },
    { 0x04E8, 0x6860 }, { 0x04E8, 0x6863 }, { 0x04E8, 0x6864 }, { 0x04E8, 0x6865 },
    { 0x04E8, 0x6866 }, { 0x04E8, 0x6868 }, { 0x04E8, 0x6877 }, { 0x04E8, 0x689E },
    { 0x05C6, 0x9018 }, { 0x05C6, 0x9025 },
    { 0x0955, 0x7030 }, { 0x0955, 0x7100 }, { 0x0955, 0xB400 }, { 0x0955, 0xB401 },
    { 0x0955, 0xCF05 }, { 0x0955, 0xCF06 }, { 0x0955, 0xCF07 }, { 0x0955, 0xCF08 },
    { 0x0955, 0xCF09 },
    { 0x0B05, 0x4D00 }, { 0x0B05, 0x4D01 }, { 0x0B05, 0x4D02 }, { 0x0B05, 0x4D03 },
    { 0x0B05, 0x4E01 }, { 0x0B05, 0x4E03 }, { 0x0B05, 0x4E1F }, { 0x0B05, 0x4E3F },
    { 0x0BB4, 0x0C01 }, { 0x0BB4, 0x0C02 }, { 0x0BB4, 0x0C03 }, { 0x0BB4, 0x0C13 },
    { 0x0BB4, 0x0C1F }, { 0x0BB4, 0x0C5F }, { 0x0BB4, 0x0C86 }, { 0x0BB4, 0x0C87 },
    { 0x0BB4, 0x0C8B }, { 0x0BB4, 0x0C8D }, { 0x0BB4, 0x0C91 }, { 0x0BB4, 0x0C92 },
    { 0x0BB4, 0x0C93 }, { 0x0BB4, 0x0C94 }, { 0x0BB4, 0x0C95 }, { 0x0BB4, 0x0C96 },
    { 0x0BB4, 0x0C97 }, { 0x0BB4, 0x0C98 }, { 0x0BB4, 0x0C99 }, { 0x0BB4, 0x0C9E },
    { 0x0BB4, 0x0CA2 }, { 0x0BB4, 0x0CA3 }, { 0x0BB4, 0x0CA4 }, { 0x0BB4, 0x0CA5 },
    { 0x0BB4, 0x0CAC }, { 0x0BB4, 0x0CAD }, { 0x0BB4, 0x0CAE }, { 0x0BB4, 0x0CBA },
    { 0x0BB4, 0x0CED }, { 0x0BB4, 0x0E03 }, { 0x0BB4, 0x0F64 }, { 0x0BB4, 0x0FF8 },
    { 0x0BB4, 0x0FF9 }, { 0x0BB4, 0x0FFE }, { 0x0BB4, 0x0FFF },
    { 0x0FCE, 0x0DDE }, { 0x0FCE, 0x4E30 }, { 0x0FCE, 0x6860 }, { 0x0FCE, 0xD001 },
    { 0x1004, 0x618E },
    { 0x12D1, 0x1501 },
    { 0x18D1, 0x0D02 }, { 0x18D1, 0x2C10 }, { 0x18D1, 0x2C11 }, { 0x18D1, 0x4D00 },
    { 0x18D1, 0x4D02 }, { 0x18D1, 0x4D04 }, { 0x18D1, 0x4D06 }, { 0x18D1, 0x4D07 },
    { 0x18D1, 0x4E10 }, { 0x18D1, 0x4E11 }, { 0x18D1, 0x4E12 }, { 0x18D1, 0x4E13 },
    { 0x18D1, 0x4E20 }, { 0x18D1, 0x4E21 }, { 0x18D1, 0x4E22 }, { 0x18D1, 0x4E23 },
    { 0x18D1, 0x4E24 }, { 0x18D1, 0x4E30 }, { 0x18D1, 0x4E40 }, { 0x18D1, 0x4E41 },
    { 0x18D1, 0x4E42 }, { 0x18D1, 0x4E43 }, { 0x18D1, 0x4E44 }, { 0x18D1, 0x4EE0 },
    { 0x18D1, 0x4EE1 }, { 0x18D1, 0x4EE2 }, { 0x18D1, 0x4EE3 }, { 0x18D1, 0x4EE4 },
    { 0x18D1, 0x4EE5 }, { 0x18D1, 0x4EE6 }, { 0x18D1, 0x4EE7 }, { 0x18D1, 0x708C },
    { 0x18D1, 0x708C }, { 0x18D1, 0x7102 }, { 0x18D1, 0x9001 }, { 0x18D1, 0xB004 },
    { 0x18D1, 0xD001 }, { 0x18D1, 0xD002 }, { 0x18D1, 0xD109 }, { 0x18D1, 0xD10A },
    { 0x19D2, 0x1351 }, { 0x19D2, 0x1354 },
    { 0x2080, 0x0001 }, { 0x2080, 0x0002 }, { 0x2080, 0x0003 }, { 0x2080, 0x0004 },
    { 0x22B8, 0x2D66 }, { 0x22B8, 0x41DB }, { 0x22B8, 0x4286 }, { 0x22B8, 0x42A4 },
    { 0x22B8, 0x42DA }, { 0x22B8, 0x4331 }, { 0x22B8, 0x70A9 },
};

const size_t android_device_ids_count = sizeof android_device_ids / sizeof android_device_ids[0];

int is_android_device(uint16_t vendor_id, uint16_t product_id)
{
    size_t i;

    for (i = 0; i < android_device_ids_count; i++) {
        if (android_device_ids[i].vendor_id == vendor_id
            && android_device_ids[i].product_id == product_id)
            return 1;
    }
    return 0;
}

/* Vendor names: the table is generated (udi/payload/VendorNames.cmake). */

const char *lookup_vendor_name(uint16_t vendor_id)
{
    return find_vendor_name(usb_vendor_names, usb_vendor_names_count, vendor_id);
}
