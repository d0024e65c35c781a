/*
 * write_cache.c - writes the bytes waiting in the write cache at the end of
 * the dump file's data area, and the whole-write loop that every write to
 * the dump file goes through.
 */
#define _POSIX_C_SOURCE 200809L  /* pwrite, strnlen, open */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "exp_local.h"

int pwrite_all(const uint8_t *src, size_t len, uint64_t ofs)
{
    while (len > 0) {
        ssize_t n = pwrite(g_exp.fd, src, len, (off_t)ofs);
        if (n < 0) {
            if (errno == EINTR) continue;
            fprintf(stderr, "Write %s: %s\n", g_exp.dump_filename, strerror(errno));
            return -1;
        }
        if (n == 0) {  /* no progress: never loop on it */
            fprintf(stderr, "Write %s: %s\n", g_exp.dump_filename, strerror(ENOSPC));
            return -1;
        }
        src += n;
        len -= (size_t)n;
        ofs += (uint64_t)n;
    }
    return 0;
}

/* On failure ctail and data_ofs stay as they were. */
int write_cache(void)
{
    if (g_exp.ctail <= 0) return 0;
    if (pwrite_all(g_exp.cache, (size_t)g_exp.ctail, g_exp.data_ofs) != 0) return -1;
    g_exp.data_ofs += (uint64_t)g_exp.ctail;
    g_exp.ctail = 0;
    return 0;
}
