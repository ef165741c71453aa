#include "operation_frame.h"

#include "format.h"
#include "log.h"
#include "windows_version.h"

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
    if (frame->lock != NULL) {
        CloseHandle(frame->lock);
        frame->lock = NULL;
    }
}
