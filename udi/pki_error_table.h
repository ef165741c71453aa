/* The fixed English texts of the cryptography codes the library reports. */
#ifndef UDI_PKI_ERROR_TABLE_H
#define UDI_PKI_ERROR_TABLE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The table's text for code, or NULL when the table does not name it. */
const char *pki_error_fixed_text(uint32_t code);

/* Whether code lies in the cryptography range (upper 16 bits 0x8009). */
int is_pki_error_code(uint32_t code);

/* "Unknown PKI error 0x%08X" into buffer (cut to size - 1); returns buffer. */
char *format_unknown_pki_error(char *buffer, size_t size, uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
