/*
 * Texts of Windows and cryptography error codes for log messages. Both
 * return shared buffers that the next call overwrites: use the text at once.
 * A code of 0 means the calling thread's current last-error value.
 */
#ifndef UDI_ERROR_TEXT_H
#define UDI_ERROR_TEXT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "[#%08X] " and the system's English message, without a trailing line break. */
const char *windows_error_text(uint32_t code);

/* The fixed text of a known cryptography code, else windows_error_text. */
const char *pki_error_text(uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
