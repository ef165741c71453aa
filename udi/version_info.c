#include "version_info.h"

#include <stdlib.h>

#include "driver_kinds.h"
#include "embedded_files.h"
#include "error_text.h"
#include "extract_binaries.h"
#include "format.h"
#include "log.h"
#include "system_binding.h"
#include "text.h"
#include "user_files.h"

#define FUNCTION_NAME "get_version_info"

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
        module, "GetFileVersionInfoSizeW", FUNCTION_NAME);
    if (functions->get_size == NULL)
        return 0;
    functions->get_info = (get_file_version_info_fn)system_module_function(
        module, "GetFileVersionInfoW", FUNCTION_NAME);
    if (functions->get_info == NULL)
        return 0;
    functions->query_value = (ver_query_value_fn)system_module_function(
        module, "VerQueryValueW", FUNCTION_NAME);
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

int get_version_info(udi_driver_kind kind, VS_FIXEDFILEINFO *out)
{
    const driver_kind_info *info;
    const embedded_file *row;
    system_module version_module = { 0 };
    version_functions functions;
    char *temp = NULL;
    wchar_t *wide_path = NULL;
    char path[MAX_PATH];
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
        log_message(LOG_WARNING, FUNCTION_NAME, "Unable to use TEMP to extract file");
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    r = check_dir(temp, 1);
    if (r != UDI_OK)
        goto out;

    /* A cut path would name some other file, which is then deleted. */
    if (format_truncated(path, sizeof(path), "%s\\%s", temp, row->file_name) < 0) {
        log_message(LOG_WARNING, FUNCTION_NAME, "Qualified path is too long: '%s'", path);
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }
    r = write_embedded_file(path, row);
    /* A file created but written short is deleted too. */
    file_created = r != UDI_ERR_OUT_OF_RESOURCES;
    if (r != UDI_OK) {
        log_message(LOG_WARNING, FUNCTION_NAME, "Failed to create file '%s' (%s)", path,
                    windows_error_text(0));
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    wide_path = utf8_to_wide(path);
    if (wide_path == NULL || !read_version_record(&functions, wide_path, &record)) {
        log_message(LOG_WARNING, FUNCTION_NAME, "Unable to allocate buffer for version info");
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
