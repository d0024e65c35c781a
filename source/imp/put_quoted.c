/*
 * put_quoted.c - the small text helpers the statement builders of tabimp
 * share: a name in double quotes, and the check of a fixed-size field.
 */
#include <string.h>

#include "imp_local.h"

char *imp_put_quoted(char *dst, const char *name)
{
    *dst++ = '"';
    for (; *name; name++) {
        if (*name == '"') *dst++ = '"';
        *dst++ = *name;
    }
    *dst++ = '"';
    *dst = '\0';
    return dst;
}

int imp_has_nul(const char *field, int size)
{
    return memchr(field, '\0', (size_t)size) != NULL;
}
