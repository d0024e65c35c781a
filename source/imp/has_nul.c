/*
 * has_nul.c - the check of a fixed-size name field of the dump: whether
 * it is terminated within its size.
 */
#include <string.h>

#include "imp_local.h"

int imp_has_nul(const char *field, int size)
{
    return memchr(field, '\0', (size_t)size) != NULL;
}
