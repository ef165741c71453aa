/* The two process starts, taking UTF-8 texts, over the system's wide entry points. */
#include "internal.h"

#include <stdlib.h>

/* The most texts one call hands on: CreateProcess's five. */
#define MAX_WIDE_COPIES 5

/* The UTF-16 copies of the texts one call hands on, freed together. */
struct wide_copies {
    wchar_t *texts[MAX_WIDE_COPIES];
    int count;
    int failed; /* a given text could not be copied */
};

/* A UTF-16 copy of a text that may be NULL, owned by copies. */
static wchar_t *wide_copy(struct wide_copies *copies, const char *text)
{
    wchar_t *wide;

    if (text == NULL)
        return NULL;
    wide = utf8_to_wide(text);
    if (wide != NULL && copies->count < MAX_WIDE_COPIES) {
        copies->texts[copies->count++] = wide;
        return wide;
    }
    free(wide);
    copies->failed = 1;
    return NULL;
}

static void free_wide_copies(struct wide_copies *copies)
{
    int i;

    for (i = 0; i < copies->count; i++)
        free(copies->texts[i]);
    copies->count = 0;
}

BOOL create_process_utf8(const char *application_name, const char *command_line,
                         LPSECURITY_ATTRIBUTES process_attributes,
                         LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                         DWORD creation_flags, LPVOID environment,
                         const char *current_directory, LPSTARTUPINFOA startup,
                         LPPROCESS_INFORMATION process_information)
{
    struct wide_copies copies = { { NULL }, 0, 0 };
    STARTUPINFOW wide_startup;
    wchar_t *application;
    wchar_t *command;
    wchar_t *directory;
    BOOL started = FALSE;
    DWORD error;

    if (startup == NULL) {
        error = ERROR_INVALID_PARAMETER;
        goto done;
    }
    if (startup->cb != sizeof(STARTUPINFOA)) {
        error = ERROR_BAD_LENGTH;
        goto done;
    }

    /* Both records have the same layout: only the texts differ in kind. */
    wide_startup = *(const STARTUPINFOW *)(const void *)startup;
    wide_startup.cb = sizeof(wide_startup);
    wide_startup.lpReserved = NULL;
    wide_startup.lpDesktop = wide_copy(&copies, startup->lpDesktop);
    wide_startup.lpTitle = wide_copy(&copies, startup->lpTitle);
    application = wide_copy(&copies, application_name);
    command = wide_copy(&copies, command_line);
    directory = wide_copy(&copies, current_directory);
    if (copies.failed) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        goto done;
    }

    started = CreateProcessW(application, command, process_attributes, thread_attributes,
                             inherit_handles, creation_flags, environment, directory,
                             &wide_startup, process_information);
    error = GetLastError();

done:
    free_wide_copies(&copies);
    SetLastError(error);
    return started;
}

typedef BOOL (WINAPI *shell_execute_ex_fn)(SHELLEXECUTEINFOW *info);

BOOL shell_execute_ex_utf8(SHELLEXECUTEINFOA *info)
{
    struct wide_copies copies = { { NULL }, 0, 0 };
    system_module shell32 = { NULL, NULL, 0 };
    shell_execute_ex_fn shell_execute_ex;
    SHELLEXECUTEINFOW wide_info;
    BOOL executed = FALSE;
    DWORD error;

    if (info == NULL) {
        error = ERROR_INVALID_PARAMETER;
        goto done;
    }
    if (info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        error = ERROR_BAD_LENGTH;
        goto done;
    }

    wide_info = *(const SHELLEXECUTEINFOW *)(const void *)info;
    wide_info.cbSize = sizeof(wide_info);
    wide_info.lpVerb = wide_copy(&copies, info->lpVerb);
    wide_info.lpFile = wide_copy(&copies, info->lpFile);
    wide_info.lpParameters = wide_copy(&copies, info->lpParameters);
    wide_info.lpDirectory = wide_copy(&copies, info->lpDirectory);
    wide_info.lpClass = NULL;
    if (info->fMask & SEE_MASK_CLASSNAME)
        wide_info.lpClass = wide_copy(&copies, info->lpClass);
    if (copies.failed) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        goto done;
    }

    /* Bound at run time, as the library binds the shell's other entry points. */
    system_module_open(&shell32, "Shell32");
    shell_execute_ex = (shell_execute_ex_fn)system_module_function(&shell32, "ShellExecuteExW",
                                                                   "shell_execute_ex_utf8");
    if (shell_execute_ex == NULL) {
        error = ERROR_PROC_NOT_FOUND;
        goto done;
    }
    executed = shell_execute_ex(&wide_info);
    error = GetLastError();
    info->hInstApp = wide_info.hInstApp;
    info->hProcess = wide_info.hProcess;

done:
    system_module_close(&shell32);
    free_wide_copies(&copies);
    SetLastError(error);
    return executed;
}
