/*
 * take_value.c - copies argument values into their fixed fields whole or
 * not at all, so that no run works on a cut file name or schema name.
 */
#include <string.h>

#include "args.h"

int copy_whole(char *dst, size_t size, const char *src, const char *what)
{
    size_t n = strlen(src);
    if (n > size - 1) {
        fprintf(stderr, "Argument \"%s\" too long.\n", what);
        return -1;
    }
    memcpy(dst, src, n + 1);
    return 0;
}

int take_name(const char *v, size_t len, char *dst, int *quoted)
{
    size_t n;
    *quoted = len > 0 && v[0] == '"';
    if (*quoted) {
        const char *end = memchr(v + 1, '"', len - 1);
        if (!end) return -1;
        n = (size_t)(end - v - 1);
        if (n > 31) return -1;
        if ((size_t)(end - v) + 1 != len) return -2;
        memcpy(dst, v + 1, n);
    } else {
        if (len > 31) return -1;
        n = len;
        for (size_t i = 0; i < n; i++) dst[i] = (v[i] >= 'a' && v[i] <= 'z') ? (char)(v[i] - 32) : v[i];
    }
    dst[n] = '\0';
    return 0;
}

int take_owner(const char *arg, const char *v, char *dst)
{
    int quoted;
    int r = take_name(v, strlen(v), dst, &quoted);
    if (r == -2) {
        dst[0] = '\0';
        fprintf(stderr, "Owner argument \"%s\" has characters after its closing quote.\n", arg);
        return -1;
    }
    if (r < 0) {
        dst[0] = '\0';
        fprintf(stderr, "Owner argument too large.\n");
        return -1;
    }
    return 0;
}
