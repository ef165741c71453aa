/*
 * The system's own log of device installations (setupapi.dev.log in the
 * INF folder of Windows): what it gains while the installer works is sent
 * to the library line by line, so that a failure's reasons reach the
 * program's log.
 */
#ifndef INSTALLER_SETUP_LOG_H
#define INSTALLER_SETUP_LOG_H

#include <windows.h>

#include "pipe_client.h"

/* At most this much of the log is sent; when it grew more, its last part. */
#define SETUP_LOG_FORWARD_MAX (64 * 1024)

typedef struct setup_log_mark {
    wchar_t path[MAX_PATH];
    ULONGLONG size;       /* the log's length when the mark was set */
} setup_log_mark;

/* Notes where the log ends now. */
void setup_log_mark_end(setup_log_mark *mark);

/* Sends the lines written to the log after the mark, as setup-log messages. */
void setup_log_forward(pipe_client *pipe, const setup_log_mark *mark);

#endif
