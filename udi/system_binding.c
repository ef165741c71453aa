#include "system_binding.h"

#include <string.h>

#include "log.h"

#define MAX_REPLACEMENTS 16

typedef struct function_replacement {
    const char *module_name;
    const char *function_name;
    system_function replacement;  /* NULL: looked up as missing */
} function_replacement;

static function_replacement replacements[MAX_REPLACEMENTS];

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

void system_function_restore_all(void)
{
    memset(replacements, 0, sizeof(replacements));
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

system_function system_module_function(system_module *module, const char *function_name,
                                       const char *caller)
{
    const function_replacement *replacement;
    system_function function = NULL;

    if (module == NULL || module->name == NULL || function_name == NULL)
        return NULL;
    replacement = find_replacement(module->name, function_name);
    if (replacement != NULL)
        function = replacement->replacement;
    else if (module->handle != NULL)
        function = (system_function)GetProcAddress(module->handle, function_name);

    if (function == NULL)
        log_message(LOG_ERROR, caller, "Unable to locate %s() in %s\n", function_name, module->name);
    return function;
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
