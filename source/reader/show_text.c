/*
 * show_text.c - escapes the control characters of a text before it is
 * printed to a terminal or a log, for names, owners and messages that come
 * from a dump or from a database.
 */
#include "show_text.h"

#include <stdio.h>
#include <string.h>

#define SHOW_RING 8
#define SHOW_SIZE 1200 /* a 128-byte name shown whole even with every byte escaped */

char *show_bytes(const char *s, size_t len, char *buf, size_t size)
{
    static const char hex[] = "0123456789ABCDEF";
    size_t o = 0;
    if (size == 0) return buf;
    for (size_t i = 0; s && i < len; i++) {
        unsigned char c = (unsigned char)s[i];
        int c1 = c == 0xC2 && i + 1 < len && (unsigned char)s[i + 1] >= 0x80 &&
                 (unsigned char)s[i + 1] <= 0x9F;
        size_t need = (c < 0x20 || c == 0x7F) ? 4 : c1 ? 8 : 1;
        if (o + need + 4 > size) { /* room for "..." and the NUL */
            if (o + 4 <= size) memcpy(buf + o, "...", 3), o += 3;
            break;
        }
        if (need == 1) {
            buf[o++] = (char)c;
            continue;
        }
        for (size_t k = 0; k < need / 4; k++) {
            unsigned char b = (unsigned char)s[i + k];
            buf[o++] = '\\';
            buf[o++] = 'x';
            buf[o++] = hex[b >> 4];
            buf[o++] = hex[b & 15];
        }
        i += need / 4 - 1;
    }
    buf[o] = '\0';
    return buf;
}

const char *show_n(const char *s, size_t len)
{
    /* one ring per thread: workers of a parallel run show names at once */
    static _Thread_local char ring[SHOW_RING][SHOW_SIZE];
    static _Thread_local unsigned next;
    char *buf = ring[next++ % SHOW_RING];
    return show_bytes(s, len, buf, SHOW_SIZE);
}

const char *show(const char *s)
{
    return show_n(s, s ? strlen(s) : 0);
}
