/*
 * Functions of system libraries that the program does not import, looked up
 * by name when an operation needs them and let go at its end.
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
#ifndef UDI_SYSTEM_BINDING_H
#define UDI_SYSTEM_BINDING_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What a lookup hands out; cast it to the function's own type. */
typedef void (*system_function)(void);

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

/* Frees the module if this record loaded it; safe to call twice. */
void system_module_close(system_module *module);

/*
 * For tests: from now on, looking up function_name in module_name gives
 * replacement instead of the system's function. system_function_hide makes
 * the lookup fail as if the system lacked it. system_function_restore_all
 * drops every replacement. Not for use while operations run on other threads.
 */
void system_function_replace(const char *module_name, const char *function_name,
                             system_function replacement);
void system_function_hide(const char *module_name, const char *function_name);
void system_function_restore_all(void);

#ifdef __cplusplus
}
#endif

#endif
