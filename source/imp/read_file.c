/*
 * read_file.c - the read window: moves it to the first unread byte of the
 * dump file and fills it, and the bounded readers every section reader uses.
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "imp_local.h"

int read_file(IMP_WORKER *w)
{
    size_t got = 0;

    assert(w->rtail >= 0 && w->rtail <= w->dlen);
    w->data_ofs += (uint64_t)w->rtail;
    w->rtail = 0;
    w->dlen = 0;
    /* Fill the whole window unless the file ends first: a short read is
     * continued, so a section front that fits the window arrives at once. */
    while (got < (size_t)w->rsz) {
        ssize_t n = pread(w->run->fd, w->rbuf + got, (size_t)w->rsz - got,
                          (off_t)(w->data_ofs + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            fprintf(stderr, "Read %s: %s\n", w->run->dump_filename, strerror(errno));
            return -1;
        }
        if (n == 0) break;
        got += (size_t)n;
    }
    if (got == 0) {
        fprintf(stderr, "Read %s not completed.\n", w->run->dump_filename);
        return -1;
    }
    assert(got <= (size_t)w->rsz);
    w->dlen = (int)got;
    return (int)got;
}

int imp_need(IMP_WORKER *w, int n)
{
    assert(n >= 0 && w->rtail >= 0 && w->rtail <= w->dlen);
    if (w->rtail + n <= w->dlen) return 0;
    if (read_file(w) < 0) return -1;
    if (n > w->dlen) {
        if (w->dlen < w->rsz)
            fprintf(stderr, "Read %s not completed.\n", w->run->dump_filename);
        else
            fprintf(stderr, "Data block of %d bytes exceeds the read window.\n", n);
        return -1;
    }
    return 0;
}

int imp_take16(IMP_WORKER *w, uint16_t *word)
{
    if (imp_need(w, 2) < 0) return -1;
    *word = imp_peek16(w);
    w->rtail += 2;
    return 0;
}

int imp_skip_second_end(IMP_WORKER *w)
{
    if (imp_need(w, 2) < 0) return -1;
    if (imp_peek16(w) == MARK_END) w->rtail += 2;
    return 0;
}

int imp_bad_row(void)
{
    fprintf(stderr, "Row data not expected out of range.\n");
    return -1;
}
