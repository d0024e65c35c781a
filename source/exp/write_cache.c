/*
 * write_cache.c - writes the bytes waiting in the write cache at the end of
 * the dump file's data area (a parallel run's workers hand them to their
 * part of the dump instead), and the whole-write loop that every write to
 * the dump file goes through.
 */
#define _GNU_SOURCE  /* pwrite, strnlen, open; sync_file_range on Linux */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "exp_local.h"
#include "write_cache.h"
#include "section_sum.h"

/* Bytes of the data area after which the system is asked to start writing
 * the file back to disk, and the offset up to which it has been asked. The
 * fsync that ends the export then waits for little more than the last
 * step instead of the whole file. */
#define WRITEBACK_STEP (8u << 20)
static void start_writeback(EXP_WORKER *w)
{
#if defined(__linux__) && defined(SYNC_FILE_RANGE_WRITE)
    /* a spill file is read back soon and then removed: never synced */
    if (w->spill[0]) return;
    if (w->data_ofs - w->writeback_ofs < WRITEBACK_STEP) return;
    /* Only starts the write-back; a failure shows at the final fsync. */
    (void)sync_file_range(w->fd, (off_t)w->writeback_ofs,
                          (off_t)(w->data_ofs - w->writeback_ofs), SYNC_FILE_RANGE_WRITE);
    w->writeback_ofs = w->data_ofs;
#endif
}

/* The file a worker writes to, for messages. */
static const char *sink_name(const EXP_WORKER *w)
{
    return w->spill[0] ? w->spill : w->run->dump_filename;
}

int pwrite_all(EXP_WORKER *w, const uint8_t *src, size_t len, uint64_t ofs)
{
    while (len > 0) {
        ssize_t n = pwrite(w->fd, src, len, (off_t)ofs);
        if (n < 0) {
            /* Interrupted by a signal: go on unless it asks the run to
             * stop, which the caller then reports. */
            if (errno == EINTR) {
                if (worker_stopped(w)) return -1;
                continue;
            }
            fprintf(stderr, "Write %s: %s\n", sink_name(w), strerror(errno));
            return -1;
        }
        if (n == 0) {  /* no progress: never loop on it */
            fprintf(stderr, "Write %s: %s\n", sink_name(w), strerror(ENOSPC));
            return -1;
        }
        src += n;
        len -= (size_t)n;
        ofs += (uint64_t)n;
    }
    return 0;
}

/* The bytes are checksummed on their way out, the one pass over them. On
 * failure ctail and data_ofs stay as they were (the export ends then). */
int write_cache(EXP_WORKER *w)
{
    EXP_ASSERT_CACHE(w);
    if (w->ctail <= 0) return 0;
    /* a worker of a parallel run: where the bytes go depends on whether
     * its part is the next one of the dump (export_parallel.c) */
    if (w->piece) return pipe_write(w);
    section_hash(w, w->cache, (size_t)w->ctail);
    if (pwrite_all(w, w->cache, (size_t)w->ctail, w->data_ofs) != 0) return -1;
    w->data_ofs += (uint64_t)w->ctail;
    w->out_bytes += (uint64_t)w->ctail;
    w->ctail = 0;
    start_writeback(w);
    return 0;
}
