#include "process_start.h"

#include <stdlib.h>

#include "text.h"

/* A UTF-16 copy of a text that may be NULL; *failed is set when a given text could not be copied. */
static wchar_t *optional_wide(const char *text, int *failed)
{
    wchar_t *wide;

    if (text == NULL)
        return NULL;
    wide = utf8_to_wide(text);
    if (wide == NULL)
        *failed = 1;
    return wide;
}

BOOL create_process_utf8(const char *application_name, const char *command_line,
                         LPSECURITY_ATTRIBUTES process_attributes,
                         LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                         DWORD creation_flags, LPVOID environment,
                         const char *current_directory, LPSTARTUPINFOA startup,
                         LPPROCESS_INFORMATION process_information)
{
    STARTUPINFOW wide_startup;
    wchar_t *application = NULL;
    wchar_t *command = NULL;
    wchar_t *directory = NULL;
    wchar_t *desktop = NULL;
    wchar_t *title = NULL;
    int failed = 0;
    BOOL started = FALSE;
    DWORD error;

    if (startup == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (startup->cb != sizeof(STARTUPINFOA)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }

    /* Both records have the same layout: only the texts differ in kind. */
    wide_startup = *(const STARTUPINFOW *)(const void *)startup;
    wide_startup.cb = sizeof(wide_startup);
    wide_startup.lpReserved = NULL;
    desktop = optional_wide(startup->lpDesktop, &failed);
    title = optional_wide(startup->lpTitle, &failed);
    wide_startup.lpDesktop = desktop;
    wide_startup.lpTitle = title;
    application = optional_wide(application_name, &failed);
    command = optional_wide(command_line, &failed);
    directory = optional_wide(current_directory, &failed);

    if (failed) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        started = CreateProcessW(application, command, process_attributes, thread_attributes,
                                 inherit_handles, creation_flags, environment, directory,
                                 &wide_startup, process_information);
        error = GetLastError();
    }

    free(application);
    free(command);
    free(directory);
    free(desktop);
    free(title);
    SetLastError(error);
    return started;
}

BOOL shell_execute_ex_utf8(SHELLEXECUTEINFOA *info)
{
    SHELLEXECUTEINFOW wide_info;
    wchar_t *verb = NULL;
    wchar_t *file = NULL;
    wchar_t *parameters = NULL;
    wchar_t *directory = NULL;
    wchar_t *class_name = NULL;
    int failed = 0;
    BOOL executed = FALSE;
    DWORD error;

    if (info == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }

    wide_info = *(const SHELLEXECUTEINFOW *)(const void *)info;
    wide_info.cbSize = sizeof(wide_info);
    verb = optional_wide(info->lpVerb, &failed);
    file = optional_wide(info->lpFile, &failed);
    parameters = optional_wide(info->lpParameters, &failed);
    directory = optional_wide(info->lpDirectory, &failed);
    if (info->fMask & SEE_MASK_CLASSNAME)
        class_name = optional_wide(info->lpClass, &failed);
    wide_info.lpVerb = verb;
    wide_info.lpFile = file;
    wide_info.lpParameters = parameters;
    wide_info.lpDirectory = directory;
    wide_info.lpClass = class_name;

    if (failed) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        executed = ShellExecuteExW(&wide_info);
        error = GetLastError();
        info->hInstApp = wide_info.hInstApp;
        info->hProcess = wide_info.hProcess;
    }

    free(verb);
    free(file);
    free(parameters);
    free(directory);
    free(class_name);
    SetLastError(error);
    return executed;
}
