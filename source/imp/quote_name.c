/*
 * quote_name.c - a name in double quotes as SQL writes it, for the
 * statements tabimp builds itself.
 */
#include "quote_name.h"

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
