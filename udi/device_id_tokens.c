#include "device_id_tokens.h"

#include <string.h>

static int is_separator(char c)
{
    return c == '\\' || c == '#' || c == '&';
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* At most max_digits hexadecimal digits from text up to end; at least one. */
static int read_hex(const char *text, const char *end, int max_digits, unsigned *value)
{
    int digits = 0;

    *value = 0;
    while (text < end && digits < max_digits && hex_value(*text) >= 0) {
        *value = *value * 16 + (unsigned)hex_value(*text);
        text++;
        digits++;
    }
    return digits > 0;
}

static int starts_with(const char *token, const char *end, const char *prefix)
{
    size_t length = strlen(prefix);

    return (size_t)(end - token) >= length && memcmp(token, prefix, length) == 0;
}

static void read_token(const char *token, const char *end, device_id_tokens *out)
{
    unsigned value;

    if (starts_with(token, end, "VID_")) {
        out->has_vendor_token = 1;
        if (read_hex(token + 4, end, 4, &value))
            out->vendor_id = (uint16_t)value;
        else
            out->bad_vendor_token = 1;
    } else if (starts_with(token, end, "PID_")) {
        if (read_hex(token + 4, end, 4, &value))
            out->product_id = (uint16_t)value;
        else
            out->bad_product_token = 1;
    } else if (starts_with(token, end, "MI_")) {
        if (read_hex(token + 3, end, 2, &value)) {
            out->has_interface_number = 1;
            out->interface_number = (uint8_t)value;
        } else {
            out->bad_interface_token = 1;
        }
    }
}

void parse_device_id_tokens(const char *id, device_id_tokens *out)
{
    const char *token;
    const char *end;

    memset(out, 0, sizeof(*out));
    if (id == NULL)
        return;
    token = id;
    while (*token != '\0') {
        while (is_separator(*token))
            token++;
        end = token;
        while (*end != '\0' && !is_separator(*end))
            end++;
        if (end > token)
            read_token(token, end, out);
        token = end;
    }
}
