/*
 * exp_worker.c - a worker record of tabexp: its buffers (row area and
 * write cache) and checksum state, its release on every way out, and the
 * stop test and progress line every worker uses.
 */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "dump_reader.h"
#include "exp_local.h"
#include "show_text.h"

int worker_open(EXP_WORKER *w, EXP_RUN *run, int id)
{
    memset(w, 0, sizeof(*w));
    w->run = run;
    w->id = id;
    w->fd = -1;
    w->long_slot = -1;
    w->env.meter.total = run->opts.metrics ? &run->opts.trips : NULL;
    w->buf_sz = EXP_ROW_AREA + EXP_CACHE_SIZE;
    w->buf = (uint8_t *)malloc((size_t)w->buf_sz);
    w->sum = XXH3_createState();
    if (!w->buf || !w->sum) {
        fprintf(stderr, "Allocate memory (%d) error: %s\n", w->buf_sz, strerror(ENOMEM));
        return -1;
    }
    w->rsz = EXP_ROW_AREA;
    w->rbuf = w->buf;
    w->cache = w->buf + EXP_ROW_AREA;
    w->csz = EXP_CACHE_SIZE;
    EXP_ASSERT_CACHE(w);
    return 0;
}

void worker_close(EXP_WORKER *w)
{
    disconnect_oracle(&w->env);
    if (w->spill[0]) {
        if (w->fd != -1) close(w->fd);
        unlink(w->spill);
        w->spill[0] = '\0';
    }
    w->fd = -1;  /* the dump file itself is the run's to close */
    free(w->buf);
    w->buf = w->rbuf = w->cache = NULL;
    w->dc = NULL;
    w->colp = NULL;
    w->select_names = NULL;
    if (w->sum) XXH3_freeState(w->sum);
    w->sum = NULL;
}

int worker_stopped(const EXP_WORKER *w)
{
    return stop_requested() || w->run->failed;
}

void print_table_line(FILE *ofp, const char *fmt, const char *name, int rows, const char *metrics)
{
    /* METRICS=Y: the line ends with the table's time and round trips */
    char line_fmt[96];
    if (*metrics) {
        size_t n = strlen(fmt);
        assert(n > 0 && fmt[n - 1] == '\n' && n + 3 < sizeof(line_fmt));
        snprintf(line_fmt, sizeof(line_fmt), "%.*s%%s\n", (int)(n - 1), fmt);
        fmt = line_fmt;
    }
    fprintf(ofp, fmt, show(name), rows, metrics);
}

void table_done_line(EXP_WORKER *w, const char *fmt)
{
    char metrics[64];
    metrics_table_end(&w->env, metrics, sizeof(metrics));
    run_lock(w->run);
    print_table_line(w->run->ofp, fmt, exp_table_name(w->tab), w->nrow, metrics);
    run_unlock(w->run);
}
