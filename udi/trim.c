#include "trim.h"

#include <ctype.h>
#include <string.h>

void trim_trailing_space(char *text)
{
    size_t length;

    if (text == NULL)
        return;
    length = strlen(text);
    while (length > 0 && isspace((unsigned char)text[length - 1]))
        text[--length] = '\0';
}
