#include "error_text.h"

#include <windows.h>

#include "pki_error_table.h"

static char pki_error_buffer[64];

const char *pki_error_text(uint32_t code)
{
    const char *text;

    if (code == 0)
        code = GetLastError();

    text = pki_error_fixed_text(code);
    if (text != NULL)
        return text;
    if (!is_pki_error_code(code))
        return windows_error_text(code);
    return format_unknown_pki_error(pki_error_buffer, sizeof(pki_error_buffer), code);
}
