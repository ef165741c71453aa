/*
 * A function run on a worker thread behind a small modal dialog owned by a
 * window of the caller: a marquee bar, a text that changes every 15 seconds,
 * and a time limit of about five minutes that the system's "Windows
 * Security" prompt holds while it is up.
 *
 *     int r = run_with_progress_bar(parent, install_worker, &job, &installation_ending);
 *
 * One dialog per process at a time.
 */
#ifndef UDI_PROGRESS_DIALOG_H
#define UDI_PROGRESS_DIALOG_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the dialog's worker runs; its result becomes the dialog's. */
typedef int (*progress_function)(void *argument);

/*
 * How the dialog ends a worker that still runs at its time limit, on the
 * dialog's thread; either may be NULL. stop asks the function to return
 * soon; the dialog waits a few seconds for that. release runs only when the
 * worker had to be killed all the same, and lets go of what the function
 * held: the killed thread may have held any lock of the process, the heap's
 * and the loader's among them, so release only closes handles.
 */
typedef struct progress_ending {
    void (*stop)(void *argument);
    void (*release)(void *argument);
} progress_ending;

/* Posted by the dialog to itself once it exists: starts the worker. */
#define WM_PROGRESS_START  (WM_APP)
/* Posted by the worker; the first parameter is the worker's result. */
#define WM_PROGRESS_DONE   (WM_APP + 1)

/*
 * Shows the dialog, runs function(argument) on a worker thread and pumps the
 * caller's thread until the dialog ends. The parent is disabled meanwhile. A
 * quit posted to the thread meanwhile is the caller's: it is posted again,
 * with its code, once the dialog has ended.
 * The worker's result, or UDI_ERR_BAD_ARGUMENT (no parent or no function),
 * UDI_ERR_IN_USE (a dialog of this process is up), UDI_ERR_TIMED_OUT (the
 * worker was stopped, or terminated, at the time limit),
 * UDI_ERR_OUT_OF_RESOURCES (class, dialog or worker not made). ending may be
 * NULL: the worker is then terminated at once at the time limit.
 */
int run_with_progress_bar(HWND parent, progress_function function, void *argument,
                          const progress_ending *ending);

/* The last window titled "Windows Security" among all windows, or NULL. */
HWND find_security_prompt(void);

#ifdef __cplusplus
}
#endif

#endif
