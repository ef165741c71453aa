/*
 * The library's one log call. Each line reads "libudi:LEVEL [FUNCTION] "
 * followed by the message; info lines go to standard output, every other
 * level to standard error, and lines below log_level_threshold are dropped.
 */
#ifndef UDI_LOG_H
#define UDI_LOG_H

#include "printf_check.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LOG_DEBUG    0
#define LOG_INFO     1
#define LOG_WARNING  2
#define LOG_ERROR    3

/* LOG_INFO unless changed; nothing in the program changes it. */
extern int log_level_threshold;

/* "debug", "info", "warning", "error", or "unknown" for any other level. */
const char *log_level_name(int level);

/* function: the name of the logging function as the texts give it, e.g. "check_dir". */
void log_message(int level, const char *function, const char *format, ...) UDI_PRINTF_LIKE(3, 4);

#ifdef __cplusplus
}
#endif

#endif
