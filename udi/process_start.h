/*
 * CreateProcess and ShellExecuteEx taking UTF-8 texts in the byte-string
 * records. Both return nonzero on success and leave the system call's last
 * error; a record whose size field is wrong fails with ERROR_BAD_LENGTH.
 */
#ifndef UDI_PROCESS_START_H
#define UDI_PROCESS_START_H

#include <windows.h>
#include <shellapi.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Arguments as CreateProcessW's; the texts, and desktop and title in startup, UTF-8. */
BOOL create_process_utf8(const char *application_name, const char *command_line,
                         LPSECURITY_ATTRIBUTES process_attributes,
                         LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                         DWORD creation_flags, LPVOID environment,
                         const char *current_directory, LPSTARTUPINFOA startup,
                         LPPROCESS_INFORMATION process_information);

/* Verb, file, parameters, directory (and class with SEE_MASK_CLASSNAME) UTF-8. */
BOOL shell_execute_ex_utf8(SHELLEXECUTEINFOA *info);

#ifdef __cplusplus
}
#endif

#endif
