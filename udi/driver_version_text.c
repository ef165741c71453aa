#include "driver_version_text.h"

#include <stddef.h>

/*
 * Like atoi on the part from text up to end (white space, a sign, digits),
 * held to the 16 bits a part has, so that a part out of range cannot spill
 * into the part above it.
 */
static uint64_t part_value(const char *text, const char *end)
{
    long value = 0;
    int negative = 0;

    while (text < end && (*text == ' ' || (*text >= '\t' && *text <= '\r')))
        text++;
    if (text < end && (*text == '+' || *text == '-')) {
        negative = *text == '-';
        text++;
    }
    while (text < end && *text >= '0' && *text <= '9' && value < 0x10000) {
        value = value * 10 + (*text - '0');
        text++;
    }
    if (negative)
        return 0;
    return value > 0xFFFF ? 0xFFFF : (uint64_t)value;
}

uint64_t pack_driver_version(const char *text)
{
    uint64_t version = 0;
    const char *part;
    const char *end;

    if (text == NULL || *text == '\0')
        return 0;
    part = text;
    for (;;) {
        end = part;
        while (*end != '\0' && *end != '.')
            end++;
        version = (version << 16) | part_value(part, end);
        if (*end == '\0')
            break;
        part = end + 1;
    }
    return version;
}
