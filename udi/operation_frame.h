/*
 * What every public operation runs inside: a system-wide mutex named
 * "Global\<operation>" whose existence marks the operation as running, and
 * the Windows version gate.
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
#ifndef UDI_OPERATION_FRAME_H
#define UDI_OPERATION_FRAME_H

#include <windows.h>

#include "libudi.h"

#ifdef __cplusplus
extern "C" {
#endif

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

#ifdef __cplusplus
}
#endif

#endif
