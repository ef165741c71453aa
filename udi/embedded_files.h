/*
 * The files that libudi carries inside the program: the payload written into
 * every driver package folder and the INF and catalog templates that stay in
 * memory.
 */
#ifndef UDI_EMBEDDED_FILES_H
#define UDI_EMBEDDED_FILES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct embedded_file {
    /* Below the package folder; "." for the folder itself, "" for a template. */
    const char *subfolder;
    const char *file_name;
    uint64_t size;
    /* Seconds since 1970-01-01 00:00 UTC: the file's time stamp when the
       build took it in. */
    int64_t creation_time;
    const unsigned char *data;
} embedded_file;

/* The payload rows first (every row with a subfolder), then the templates. */
extern const embedded_file embedded_files[];
extern const size_t embedded_files_count;

/* The first row of that exact (case-sensitive) name, or NULL. */
const embedded_file *find_embedded_file(const char *file_name);

/* The first template row (empty subfolder) of that exact name, or NULL. */
const embedded_file *find_embedded_template(const char *file_name);

#ifdef __cplusplus
}
#endif

#endif
