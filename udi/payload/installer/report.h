/*
 * What the installer tells the library while it works: progress texts,
 * warnings, lines of the system's setup log, the brackets around long
 * steps, the status and the end. Nothing of it waits for long (see
 * pipe_client.h), and a pipe that broke swallows the rest.
 */
#ifndef INSTALLER_REPORT_H
#define INSTALLER_REPORT_H

#include <stddef.h>
#include <windows.h>

#include "pipe_client.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A progress text; formats as swprintf does (%ls for wide texts). */
void report_progress(pipe_client *pipe, const wchar_t *format, ...);

/* A text that the library's log shows the user, unlike progress. */
void report_warning(pipe_client *pipe, const wchar_t *format, ...);

/* A progress text followed by ": " and the text of the Windows error. */
void report_failure(pipe_client *pipe, DWORD error, const wchar_t *format, ...);

/* One line of the system's setup log, as bytes. */
void report_setup_log_line(pipe_client *pipe, const char *line, size_t length);

/* Around a step that may stay silent for longer than the library waits. */
void report_long_step_begins(pipe_client *pipe);
void report_long_step_ended(pipe_client *pipe);

void report_status(pipe_client *pipe, int status);
void report_finished(pipe_client *pipe);

#ifdef __cplusplus
}
#endif

#endif
