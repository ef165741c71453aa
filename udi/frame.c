/*
 * The library frame: the operation lock and the Windows version gate that
 * every public operation runs inside, the detection of the running Windows,
 * and the binding of system functions at run time with its test seam.
 */
#include "internal.h"

#include <string.h>

/* The operation lock and the version gate. */

/* "Global\" and the longest operation name, "install_driver_internal". */
#define LOCK_NAME_SIZE 64

udi_result enter_operation(operation_frame *frame, const char *operation, int version_gate)
{
    char lock_name[LOCK_NAME_SIZE];
    HANDLE lock;

    frame->lock = NULL;
    format_truncated(lock_name, sizeof(lock_name), "Global\\%s", operation);

    /* Owned at creation but never released nor waited on: the mutex only
       has to exist. Whoever finds it already there is told at once. */
    lock = CreateMutexA(NULL, TRUE, lock_name);
    if (lock == NULL)
        return UDI_ERR_OUT_OF_RESOURCES;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        return UDI_ERR_IN_USE;
    }

    if (version_gate) {
        if (windows_version_code == -1)
            detect_windows_version();
        if (windows_version_code <= 0x60) {
            log_message(LOG_ERROR, operation, "This version of Windows is no longer supported");
            CloseHandle(lock);
            return UDI_ERR_WINDOWS_TOO_OLD;
        }
    }

    frame->lock = lock;
    return UDI_OK;
}

void leave_operation(operation_frame *frame)
{
    HANDLE lock = frame->lock;

    /* Out of the frame before it is closed: a frame that two threads let go
       of (a killed worker's, see install.c) is closed once. */
    frame->lock = NULL;
    if (lock != NULL)
        CloseHandle(lock);
}

/* Which Windows the library runs on, asked once per process. */

int windows_version_code = -1;

static int system_major_is(void *context, unsigned major)
{
    OSVERSIONINFOEXA wanted = { sizeof(wanted) };
    ULONGLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);

    (void)context;
    wanted.dwMajorVersion = major;
    return VerifyVersionInfoA(&wanted, VER_MAJORVERSION, condition) != FALSE;
}

static int system_version_is(void *context, unsigned major, unsigned minor)
{
    OSVERSIONINFOEXA wanted = { sizeof(wanted) };
    ULONGLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);

    (void)context;
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_EQUAL);
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    return VerifyVersionInfoA(&wanted, VER_MAJORVERSION | VER_MINORVERSION, condition) != FALSE;
}

void detect_windows_version(void)
{
    static const windows_version_probe system_probe = { system_major_is, system_version_is, NULL };
    OSVERSIONINFOEXA reported = { sizeof(reported) };

    windows_version_code = -1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA((OSVERSIONINFOA *)&reported)) {
        reported.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA((OSVERSIONINFOA *)&reported))
            return;
    }
#pragma GCC diagnostic pop
    windows_version_code = windows_version_code_from(reported.dwPlatformId,
                                                     reported.dwMajorVersion,
                                                     reported.dwMinorVersion, &system_probe);
}

/* System functions bound at run time. */

#define MAX_REPLACEMENTS 16

typedef struct function_replacement {
    const char *module_name;
    const char *function_name;
    system_function replacement;  /* NULL: looked up as missing */
} function_replacement;

static function_replacement replacements[MAX_REPLACEMENTS];
static system_function_observer lookup_observer;

static int same_module_name(const char *a, const char *b)
{
    return _stricmp(a, b) == 0;
}

static function_replacement *find_replacement(const char *module_name, const char *function_name)
{
    size_t i;

    for (i = 0; i < MAX_REPLACEMENTS; i++) {
        if (replacements[i].function_name != NULL
            && strcmp(replacements[i].function_name, function_name) == 0
            && same_module_name(replacements[i].module_name, module_name))
            return &replacements[i];
    }
    return NULL;
}

static void set_replacement(const char *module_name, const char *function_name,
                            system_function replacement)
{
    function_replacement *slot;
    size_t i;

    if (module_name == NULL || function_name == NULL)
        return;
    slot = find_replacement(module_name, function_name);
    for (i = 0; slot == NULL && i < MAX_REPLACEMENTS; i++) {
        if (replacements[i].function_name == NULL)
            slot = &replacements[i];
    }
    if (slot == NULL)
        return;
    slot->module_name = module_name;
    slot->function_name = function_name;
    slot->replacement = replacement;
}

void system_function_replace(const char *module_name, const char *function_name,
                             system_function replacement)
{
    set_replacement(module_name, function_name, replacement);
}

void system_function_hide(const char *module_name, const char *function_name)
{
    set_replacement(module_name, function_name, NULL);
}

void system_function_observe(system_function_observer observer)
{
    lookup_observer = observer;
}

void system_function_restore_all(void)
{
    memset(replacements, 0, sizeof(replacements));
    lookup_observer = NULL;
}

/*
 * Only from the system folder: the driver package, and so a file of any
 * name, is written beside the executable, where a plain LoadLibrary would
 * look first. Systems without that search flag answer
 * ERROR_INVALID_PARAMETER and get the plain load.
 */
static HMODULE load_system_library(const char *name)
{
    HMODULE handle = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);

    if (handle == NULL && GetLastError() == ERROR_INVALID_PARAMETER)
        handle = LoadLibraryA(name);
    return handle;
}

int system_module_open(system_module *module, const char *name)
{
    module->name = name;
    module->loaded = 0;
    module->handle = load_system_library(name);
    if (module->handle == NULL)
        module->handle = GetModuleHandleA(name);
    else
        module->loaded = 1;
    if (module->handle == NULL) {
        module->handle = load_system_library(name);
        module->loaded = module->handle != NULL;
    }
    return module->handle != NULL;
}

/* The export is looked up by name, or by ordinal when ordinal is nonzero. */
static system_function look_up(system_module *module, unsigned ordinal,
                               const char *function_name, const char *caller)
{
    const function_replacement *replacement;
    system_function function = NULL;

    if (module == NULL || module->name == NULL || function_name == NULL)
        return NULL;
    if (lookup_observer != NULL)
        lookup_observer(module->name, function_name, caller);
    replacement = find_replacement(module->name, function_name);
    if (replacement != NULL)
        function = replacement->replacement;
    else if (module->handle != NULL)
        function = (system_function)GetProcAddress(
            module->handle, ordinal != 0 ? MAKEINTRESOURCEA(ordinal) : function_name);

    if (function == NULL)
        log_message(LOG_ERROR, caller, "Unable to locate %s() in %s\n", function_name, module->name);
    return function;
}

system_function system_module_function(system_module *module, const char *function_name,
                                       const char *caller)
{
    return look_up(module, 0, function_name, caller);
}

system_function system_module_ordinal(system_module *module, unsigned ordinal,
                                      const char *function_name, const char *caller)
{
    /* Ordinals are 16-bit; 0 would be a lookup by name. */
    if (ordinal == 0 || ordinal > 0xFFFF)
        return look_up(module, 0, NULL, caller);
    return look_up(module, ordinal, function_name, caller);
}

void system_module_close(system_module *module)
{
    if (module == NULL)
        return;
    /* A module found already loaded is someone else's: freeing it would
       take away a reference we never took. */
    if (module->handle != NULL && module->loaded)
        FreeLibrary(module->handle);
    module->handle = NULL;
    module->loaded = 0;
}
