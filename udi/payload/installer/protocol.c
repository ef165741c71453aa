#include "protocol.h"

#include <string.h>

/*
 * The characters that device instance ids and hardware ids may hold: printable
 * ASCII without space and comma. Nothing else can name a device, so anything
 * else in a reply means that the other end is not the library.
 */
static int is_id_character(unsigned char c)
{
    return c > 0x20 && c < 0x7F && c != ',';
}

static int is_digit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

static int is_device_id(const unsigned char *id, size_t length)
{
    const void *separator = memchr(id, '\\', length);

    /* enumerator\device\instance: at least one inner separator. */
    return separator != NULL && id[0] != '\\' && id[length - 1] != '\\';
}

/* S-1- and then groups of decimal digits joined by single hyphens. */
static int is_sid_text(const unsigned char *sid, size_t length)
{
    size_t i;
    size_t digits = 0;
    size_t groups = 0;

    if (length < 5 || memcmp(sid, "S-1-", 4) != 0)
        return 0;
    for (i = 4; i < length; i++) {
        if (is_digit(sid[i])) {
            if (++digits > 10)
                return 0;
        } else if (sid[i] == '-' && digits > 0) {
            digits = 0;
            groups++;
        } else {
            return 0;
        }
    }
    return digits > 0 && groups + 1 <= 16;
}

enum reply_check check_reply(enum reply_kind kind, const unsigned char *reply, size_t length,
                             char *out, size_t out_size)
{
    size_t i;

    if (out == NULL || out_size < REPLY_MAX_LENGTH + 1)
        return REPLY_MALFORMED;
    out[0] = '\0';
    if (reply == NULL || length == 0)
        return REPLY_MALFORMED;
    if (length == 1 && reply[0] == 0)
        return REPLY_EMPTY;
    if (length > REPLY_MAX_LENGTH)
        return REPLY_TOO_LONG;
    for (i = 0; i < length; i++) {
        if (!is_id_character(reply[i]))
            return REPLY_MALFORMED;
    }
    if (kind == REPLY_DEVICE_ID && !is_device_id(reply, length))
        return REPLY_MALFORMED;
    if (kind == REPLY_USER_SID && !is_sid_text(reply, length))
        return REPLY_MALFORMED;

    memcpy(out, reply, length);
    out[length] = '\0';
    return REPLY_VALID;
}

static int is_blank(char c)
{
    return c == ' ';
}

/* One raw line: cleaned into `clean` (MESSAGE_TEXT_MAX bytes), then handed on. */
static int hand_on_line(const char *raw, size_t length, char *clean, text_line_handler line,
                        void *context)
{
    size_t used = 0;
    size_t i;

    if (length > MESSAGE_TEXT_MAX)
        length = MESSAGE_TEXT_MAX;
    for (i = 0; i < length; i++) {
        unsigned char c = (unsigned char)raw[i];
        clean[used++] = (c < 0x20 || c == 0x7F) ? ' ' : (char)c;
    }
    i = 0;
    while (i < used && is_blank(clean[i]))
        i++;
    while (used > i && is_blank(clean[used - 1]))
        used--;
    if (used == i)
        return 0;
    return line(context, clean + i, used - i);
}

int for_each_text_line(const char *text, size_t length, text_line_handler line, void *context)
{
    char clean[MESSAGE_TEXT_MAX];
    size_t start = 0;
    size_t i;
    int result;

    if (text == NULL || line == NULL)
        return 0;
    for (i = 0; i <= length; i++) {
        if (i < length && text[i] != '\r' && text[i] != '\n')
            continue;
        result = hand_on_line(text + start, i - start, clean, line, context);
        if (result != 0)
            return result;
        start = i + 1;
    }
    return 0;
}
