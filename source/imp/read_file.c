/*
 * read_file.c - the read window: moves it to the first unread byte of the
 * dump file and fills it, and the bounded readers every section reader uses.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "imp_local.h"

int read_file(void)
{
    size_t got = 0;

    g_imp.data_ofs += (uint64_t)g_imp.rtail;
    g_imp.rtail = 0;
    g_imp.dlen = 0;
    /* Fill the whole window unless the file ends first: a short read is
     * continued, so a section front that fits the window arrives at once. */
    while (got < (size_t)g_imp.rsz) {
        ssize_t n = pread(g_imp.fd, g_imp.rbuf + got, (size_t)g_imp.rsz - got,
                          (off_t)(g_imp.data_ofs + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            fprintf(stderr, "Read %s: %s\n", g_imp.dump_filename, strerror(errno));
            return -1;
        }
        if (n == 0) break;
        got += (size_t)n;
    }
    if (got == 0) {
        fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    g_imp.dlen = (int)got;
    return (int)got;
}

int imp_need(int n)
{
    if (g_imp.rtail + n <= g_imp.dlen) return 0;
    if (read_file() < 0) return -1;
    if (n > g_imp.dlen) {
        if (g_imp.dlen < g_imp.rsz)
            fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        else
            fprintf(stderr, "Data block of %d bytes exceeds the read window.\n", n);
        return -1;
    }
    return 0;
}

int imp_take16(uint16_t *w)
{
    if (imp_need(2) < 0) return -1;
    *w = imp_peek16();
    g_imp.rtail += 2;
    return 0;
}

int imp_skip_second_end(void)
{
    if (imp_need(2) < 0) return -1;
    if (imp_peek16() == MARK_END) g_imp.rtail += 2;
    return 0;
}

int imp_bad_row(void)
{
    fprintf(stderr, "Row data not expected out of range.\n");
    return -1;
}
