/*
 * libudi's own declarations, for its sources and its tests; the program
 * includes only libudi.h. Each section belongs to the source file it names.
 * The Windows-free logic is declared in parse.h, included here.
 */
#ifndef UDI_INTERNAL_H
#define UDI_INTERNAL_H

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>
#include <windows.h>
#include <shellapi.h>

#include "libudi.h"
#include "parse.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * frame.c: what every public operation runs inside, and the system
 * functions it binds at run time.
 *
 * The operation frame is a system-wide mutex named "Global\<operation>"
 * whose existence marks the operation as running, and the Windows version
 * gate:
 *
 *     operation_frame frame;
 *     udi_result r = enter_operation(&frame, "udi_create_list", 1);
 *     if (r != UDI_OK)
 *         return r;
 *     ... the operation ...
 *     leave_operation(&frame);
 *
 * The mutex is created owned and never waited on or released, only closed:
 * a second call of the same operation anywhere on the machine gets
 * UDI_ERR_IN_USE at once instead of queueing behind the first.
 */
typedef struct operation_frame {
    HANDLE lock;
} operation_frame;

/*
 * UDI_OK with the lock held; UDI_ERR_OUT_OF_RESOURCES when the mutex can be
 * neither created nor opened, UDI_ERR_IN_USE when it exists,
 * UDI_ERR_WINDOWS_TOO_OLD (logged under operation) when version_gate is set
 * and Windows is older than 7. On every failure nothing is left held.
 */
udi_result enter_operation(operation_frame *frame, const char *operation, int version_gate);

/* Closes the lock; safe to call twice. */
void leave_operation(operation_frame *frame);

/*
 * The running Windows as major * 16 + minor: -1 not detected yet (or the
 * detection did not decide), 0 older than 6.1, 0x61 Windows 7, 0x62 8,
 * 0x63 8.1, 0x64 the first 10 preview, 0xA0 10 and later.
 */
extern int windows_version_code;

/* Sets windows_version_code from the system (by windows_version_code_from). */
void detect_windows_version(void);

/*
 * Functions of system libraries that the program does not import, looked up
 * by name when an operation needs them and let go at its end:
 *
 *     system_module cfgmgr;
 *     system_module_open(&cfgmgr, "Cfgmgr32");
 *     get_id_fn get_id = (get_id_fn)system_module_function(&cfgmgr,
 *                                "CM_Get_Device_IDA", "udi_create_list");
 *     ...
 *     system_module_close(&cfgmgr);
 *
 * A function that cannot be found is logged at error level as
 * "Unable to locate %s() in %s\n" under the caller's name.
 */
typedef void (*system_function)(void);  /* cast it to the function's own type */

typedef struct system_module {
    const char *name;
    HMODULE handle;
    int loaded;  /* taken with LoadLibrary, so ours to free */
} system_module;

/* Nonzero when the module could be had; the record is usable either way. */
int system_module_open(system_module *module, const char *name);

/* The function, or NULL (logged under caller) when it is missing. */
system_function system_module_function(system_module *module, const char *function_name,
                                       const char *caller);

/*
 * As system_module_function, for a function that the module exports by
 * ordinal alone (Shell32's administrator test, 680): function_name names it
 * in the log line and for system_function_replace.
 */
system_function system_module_ordinal(system_module *module, unsigned ordinal,
                                      const char *function_name, const char *caller);

/* Shell32 exports its administrator test by this ordinal only. */
#define IS_USER_AN_ADMIN_ORDINAL 680

/* Frees the module if this record loaded it; safe to call twice. */
void system_module_close(system_module *module);

/*
 * For tests: from now on, looking up function_name in module_name gives
 * replacement instead of the system's function. system_function_hide makes
 * the lookup fail as if the system lacked it. system_function_restore_all
 * drops every replacement and the observer. system_function_observe has
 * observer told of every lookup from now on (module and function as the
 * caller names them, and the caller), before any replacement applies, so a
 * test learns which functions an operation binds. Not for use while
 * operations run on other threads.
 */
typedef void (*system_function_observer)(const char *module_name, const char *function_name,
                                         const char *caller);

void system_function_replace(const char *module_name, const char *function_name,
                             system_function replacement);
void system_function_hide(const char *module_name, const char *function_name);
void system_function_observe(system_function_observer observer);
void system_function_restore_all(void);

/*
 * text.c: UTF-8 and UTF-16 copies of texts for the Windows calls, and the
 * environment. Every result is a fresh heap copy that the caller frees with
 * free(); NULL on failure.
 */

/* NULL for NULL; an empty text gives an empty UTF-16 text. */
wchar_t *utf8_to_wide(const char *text);

/* As utf8_to_wide, but NULL for an empty text too. */
wchar_t *utf8_to_wide_nonempty(const char *text);

/* text must not be NULL; empty gives empty. */
char *wide_to_utf8(const wchar_t *text);

/* The variable's value in UTF-8, or NULL when it is not set. */
char *getenv_utf8(const char *name);

/*
 * user_files.c: folders and files created owned by the current user, so
 * that the elevated installer's output stays the user's, and the user's SID
 * behind that.
 */

/* A stand-alone copy of the current user's SID (free with LocalFree), or NULL. */
PSID GetSid(void);

/*
 * 0 when path (UTF-8, may be in double quotes) is a folder. With create
 * nonzero a missing folder and its missing parents are made. Otherwise
 * UDI_ERR_FILE_ACCESS, UDI_ERR_BAD_ARGUMENT (name too long) or
 * UDI_ERR_OUT_OF_RESOURCES, logged under "check_dir".
 */
int check_dir(const char *path, int create);

/*
 * Creates or truncates path (UTF-8) for writing, owned by the current user;
 * "r" in mode adds read access, and "x" creates the file only when nothing
 * of that name exists yet (so never through an existing file or link). NULL
 * on failure, with the last error saying why, or without "w" in mode.
 */
FILE *fopen_as_userU(const char *path, const char *mode);

/*
 * process.c: CreateProcess and ShellExecuteEx taking UTF-8 texts in the
 * byte-string records. Both return nonzero on success and leave the system
 * call's last error; a record whose size field is wrong fails with
 * ERROR_BAD_LENGTH.
 */

/* Arguments as CreateProcessW's; the texts, and desktop and title in startup, UTF-8. */
BOOL create_process_utf8(const char *application_name, const char *command_line,
                         LPSECURITY_ATTRIBUTES process_attributes,
                         LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                         DWORD creation_flags, LPVOID environment,
                         const char *current_directory, LPSTARTUPINFOA startup,
                         LPPROCESS_INFORMATION process_information);

/* Verb, file, parameters, directory (and class with SEE_MASK_CLASSNAME) UTF-8. */
BOOL shell_execute_ex_utf8(SHELLEXECUTEINFOA *info);

/*
 * log.c: the library's one log call, and the texts of Windows and
 * cryptography error codes for its messages.
 *
 * Each line reads "libudi:LEVEL [FUNCTION] " followed by the message; info
 * lines go to standard output, every other level to standard error, and
 * lines below log_level_threshold are dropped. function is the name of the
 * logging function as the texts give it, e.g. "check_dir".
 */
void log_message(int level, const char *function, const char *format, ...) UDI_PRINTF_LIKE(3, 4);

/*
 * Both texts live in shared buffers that the next call overwrites: use the
 * text at once. A code of 0 means the calling thread's current last-error
 * value, which both leave as it was.
 */

/* "[#%08X] " and the system's English message, without a trailing line break. */
const char *windows_error_text(uint32_t code);

/* The fixed text of a known cryptography code, else windows_error_text. */
const char *pki_error_text(uint32_t code);

/* device_list.c: the listing (udi_create_list, udi_destroy_list). */

/* Frees the node's texts and the node; nothing for NULL. */
void free_device_node(udi_device_node *node);

/*
 * payload.c: what the library carries for driver packages and works on: the
 * driver kinds, the embedded files (written into every package folder, or
 * kept in memory as INF and catalog templates), the version record a package
 * states, the Android ids and the vendor names.
 */

/*
 * What the library knows of each driver kind: the name it shows, its INF
 * and catalog templates, the embedded file whose version a package states,
 * and the compatible id that a package matching by compatible id uses.
 */
typedef struct driver_kind_info {
    const char *display_name;
    const char *inf_template;   /* NULL for UDI_DRIVER_USER */
    const char *cat_template;   /* NULL for UDI_DRIVER_USER */
    const char *version_file;   /* "" when the kind has none, NULL for UDI_DRIVER_USER */
    const char *compatible_id;  /* NULL for UDI_DRIVER_USER */
} driver_kind_info;

/* The row of kind 0 to UDI_DRIVER_USER, or NULL for any other value. */
const driver_kind_info *driver_kind_info_of(udi_driver_kind kind);

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

/*
 * Writes every payload row of embedded_files below folder (UTF-8), creating
 * the rows' subfolders owned by the current user and overwriting files of
 * the same names. Stops at the first failing row and leaves what it wrote.
 * UDI_OK; UDI_ERR_BAD_ARGUMENT for a NULL folder; UDI_ERR_OUT_OF_RESOURCES
 * when a path would pass MAX_PATH - 1 characters or a file cannot be
 * created; UDI_ERR_FILE_ACCESS when a file cannot be written whole; or a
 * result of check_dir.
 */
int extract_binaries(const char *folder);

/*
 * Writes the row's bytes into path (UTF-8), opened by fopen_as_userU with
 * mode ("w" or "wx"). UDI_OK; UDI_ERR_OUT_OF_RESOURCES when the file cannot
 * be created (the last error says why); UDI_ERR_FILE_ACCESS when it was
 * created but not written whole.
 */
int write_embedded_file(const char *path, const embedded_file *row, const char *mode);

/*
 * The version record (VS_FIXEDFILEINFO) that a driver package of each kind
 * states: the file version of the kind's embedded main file, dated with the
 * time stamp that the build recorded for that file. One record per kind 0
 * to UDI_DRIVER_USB_CDC; a zero signature means empty.
 */
extern VS_FIXEDFILEINFO driver_version_cache[UDI_DRIVER_USB_CDC + 1];

/*
 * Fills *out with the kind's record, from the cache when it holds one, else
 * by writing the kind's version file into TEMP, under a new random name,
 * reading its version resource and deleting it again. UDI_OK; UDI_ERR_BAD_ARGUMENT for a kind
 * outside 0 to UDI_DRIVER_USB_CDC or a NULL out; UDI_ERR_MISSING when the
 * kind has no version file; UDI_ERR_OUT_OF_RESOURCES when the version
 * functions, TEMP, the file or its version resource fail; or a result of
 * check_dir on TEMP. *out is changed only on UDI_OK.
 */
int get_version_info(udi_driver_kind kind, VS_FIXEDFILEINFO *out);

/* A Windows file time (100 ns units since 1601) of seconds since 1970 UTC. */
uint64_t file_time_of_unix_time(int64_t seconds);

/*
 * Vendor and product ids of Android devices (in their debugging or fastboot
 * modes) whose packages get the Android device interface GUID, so that
 * Android's tools find them.
 */
typedef struct android_device_id {
    uint16_t vendor_id;
    uint16_t product_id;
} android_device_id;

/* Sorted by vendor, then product. */
extern const android_device_id android_device_ids[];
extern const size_t android_device_ids_count;

/* Nonzero when the pair is in android_device_ids. */
int is_android_device(uint16_t vendor_id, uint16_t product_id);

/*
 * Names of USB vendors by id, for the manufacturer of a driver package:
 * sorted by id, each id once. The table is generated from a USB id list at
 * build time (udi/payload/VendorNames.cmake).
 */
extern const usb_vendor_name usb_vendor_names[];
extern const size_t usb_vendor_names_count;

/* The vendor's name, or NULL when the table has no row for the id. */
const char *lookup_vendor_name(uint16_t vendor_id);

/*
 * catalog.c: the security catalog of a driver package, listing a hash of
 * each of the package's files that the caller names.
 */

/*
 * Creates the catalog cat_path (UTF-8) for the package in folder, stamped
 * with hardware_id, with one member for each file below folder whose name
 * (no folder, compared in lower case) is among the count names. 1 when the
 * catalog file was written, else 0; the reason is logged.
 */
int CreateCat(const char *cat_path, const char *hardware_id, const char *folder,
              const char **names, uint32_t count);

/* The bytes of a file's catalog hash (SHA-1). */
#define CATALOG_HASH_SIZE 20

/*
 * The absolute path of the package folder while one catalog is made, without
 * a trailing separator; empty otherwise. Package preparation, the only
 * caller, runs one at a time on the machine.
 */
#define SCAN_ROOT_SIZE 260
extern char scan_root[SCAN_ROOT_SIZE];

/*
 * Adds to catalog a member for each file in scan_root + relative_folder and
 * in every folder below whose lower-case name is one of the count names
 * (lower case already). relative_folder is "" at the top, else begins with
 * "\". Files that cannot be hashed or added are logged and passed over.
 */
void ScanDirAndHash(HANDLE catalog, const char *relative_folder, const char *const *names,
                    uint32_t count);

/*
 * Adds the member of one file: file_name (bare, UTF-8) with its hash. 1 when
 * the member and both of its attributes were put, 0 otherwise (logged); only
 * .dll, .sys, .exe and .inf files have a member.
 */
int AddFileHash(HANDLE catalog, const char *file_name, const uint8_t hash[CATALOG_HASH_SIZE]);

/* Nonzero when the catalog hash of the file at path (UTF-8) is now in hash. */
int CalcHash(uint8_t hash[CATALOG_HASH_SIZE], const char *path);

/*
 * Nonzero when path (UTF-8, "/" read as "\") made absolute against the
 * current folder fits into out, of size bytes with its terminator.
 */
int normalize_full_path(const char *path, char *out, size_t size);

/*
 * prepare.c: a driver package for one device (udi_prepare_driver): the
 * payload, the INF made from the kind's template, and the catalog, signed.
 */

/* The tokens the templates may hold, in the order inf_tokens tries them. */
enum inf_token_index {
    TOKEN_INF_FILENAME,
    TOKEN_CAT_FILENAME,
    TOKEN_DEVICE_DESCRIPTION,
    TOKEN_DEVICE_HARDWARE_ID,
    TOKEN_DEVICE_INTERFACE_GUID,
    TOKEN_DEVICE_MANUFACTURER,
    TOKEN_DRIVER_DATE,
    TOKEN_DRIVER_VERSION,
    TOKEN_USE_DEVICE_INTERFACE_GUID,
    TOKEN_WDF_VERSION,
    TOKEN_KMDF_VERSION,
    /* Only the libusb-win32 templates hold these, and only its packages set them. */
    TOKEN_LK_COMMA,
    TOKEN_LK_DLL,
    TOKEN_LK_X86_DLL,
    TOKEN_LK_EQ_X86,
    TOKEN_LK_EQ_X64,
    INF_TOKEN_COUNT
};

/*
 * The values the next template gets, ended by an entry without a name. Each
 * preparation sets what its templates need; the values stay until then.
 */
extern inf_token inf_tokens[INF_TOKEN_COUNT + 1];

/*
 * The embedded template of that exact name (a row without subfolder) with
 * its tokens replaced, in a new buffer *out that the caller frees. The
 * text's length, or -1812 when there is no such template, or an error of
 * replace_tokens.
 */
#define TEMPLATE_NOT_FOUND -1812
int64_t tokenize_embedded_template(const char *template_name, char **out,
                                   const inf_token *tokens);

/*
 * install.c: the installation of a prepared package through its installer
 * program (udi_install_driver), and the conversation with that program over
 * the pipe "\\.\pipe\libudi-installer".
 */

/* The arguments of one installation, as udi_install_driver was given them. */
typedef struct install_request {
    const udi_device_node *device;
    const char *folder;                   /* NULL or empty: the folder TEMP names */
    const char *inf_file_name;
    const udi_install_options *options;   /* may be NULL */
} install_request;

/*
 * The installation itself, under the lock "install_driver_internal"; with a
 * progress dialog it runs on the dialog's worker. The results of
 * udi_install_driver.
 */
udi_result install_driver_internal(install_request *request);

/*
 * Acts on one whole message of the installer (length bytes): logs it,
 * replies to it on installer_pipe, or changes the read timeout. 0 to read
 * on; anything else ends the conversation with that result.
 */
int process_message(const unsigned char *buffer, size_t length);

/*
 * The state of the one installation that runs at a time (under its lock):
 * the device whose ids the installer is given, whether the filter installer
 * runs, and the server end of the pipe (INVALID_HANDLE_VALUE outside an
 * installation).
 */
extern const udi_device_node *current_device;
extern int filter_mode;
extern HANDLE installer_pipe;

/*
 * How long the installer may stay silent: 10,000 ms, or INFINITE while it
 * runs a step that it said may be silent for long. Every installation
 * starts from 10,000 ms and leaves it there: a long step is only ever the
 * running installer's.
 */
extern uint32_t installer_read_timeout_ms;

#ifdef __cplusplus
}
#endif

#endif
