/*
 * read_head.c - reads the dump file's header record (the first 208 bytes)
 * and converts its numbers from the file's big-endian order.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>

#include "imp_local.h"

int read_dump_head(HEAD_INFO *hi)
{
    uint8_t raw[sizeof(HEAD_INFO)];
    size_t got = 0;

    while (got < sizeof(raw)) {
        ssize_t n = read(g_imp.fd, raw + got, sizeof(raw) - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(errno));
            return -1;
        }
        if (n == 0) {
            fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
            return -1;
        }
        got += (size_t)n;
    }

    memcpy(hi->magic, raw + offsetof(HEAD_INFO, magic), sizeof(hi->magic));
    memcpy(hi->owner, raw + offsetof(HEAD_INFO, owner), sizeof(hi->owner));
    memcpy(hi->nls_lang, raw + offsetof(HEAD_INFO, nls_lang), sizeof(hi->nls_lang));
    hi->tab_offset = get_be64(raw + offsetof(HEAD_INFO, tab_offset));
    hi->tab_cnt = get_be32(raw + offsetof(HEAD_INFO, tab_cnt));
    hi->rsv = get_be32(raw + offsetof(HEAD_INFO, rsv));
    return 0;
}
