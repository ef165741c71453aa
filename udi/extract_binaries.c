#include "extract_binaries.h"

#include <stdio.h>
#include <windows.h>

#include "embedded_files.h"
#include "error_text.h"
#include "format.h"
#include "libudi.h"
#include "log.h"
#include "user_files.h"

#define FUNCTION_NAME "extract_binaries"

int write_embedded_file(const char *path, const embedded_file *row)
{
    FILE *file = fopen_as_userU(path, "w");
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
        log_message(LOG_ERROR, FUNCTION_NAME, "Qualified path is too long: '%s'", path);
        return UDI_ERR_OUT_OF_RESOURCES;
    }
    r = check_dir(path, 1);
    if (r != UDI_OK)
        return r;

    if (format_truncated(path, sizeof(path), "%s\\%s\\%s", folder, row->subfolder,
                         row->file_name) < 0) {
        log_message(LOG_ERROR, FUNCTION_NAME, "Qualified path is too long: '%s'", path);
        return UDI_ERR_OUT_OF_RESOURCES;
    }

    r = write_embedded_file(path, row);
    if (r == UDI_ERR_OUT_OF_RESOURCES)
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not create file '%s' (%s)", path,
                    windows_error_text(0));
    else if (r != UDI_OK)
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not write file '%s'", path);
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
    log_message(LOG_INFO, FUNCTION_NAME, "Successfully extracted driver files to '%s'", folder);
    return UDI_OK;
}
