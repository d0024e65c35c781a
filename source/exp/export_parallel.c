/*
 * export_parallel.c - PARALLEL=n: worker sessions that read the tables,
 * largest first, from the coordinator's snapshot into spill files of
 * their own, and the coordinator copying each finished section into the
 * dump in directory order, so that the file is the serial export's.
 */
#define _GNU_SOURCE  /* copy_file_range, mkstemp */
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "args.h"
#include "exp_local.h"
#include "write_cache.h"

/* The lock of a parallel run and the condition the coordinator waits on
 * for the next section in directory order. */
typedef struct {
    pthread_mutex_t mutex;
    pthread_cond_t changed;
} RUN_LOCK;

void run_lock(EXP_RUN *run)
{
    if (run->lock) pthread_mutex_lock(&((RUN_LOCK *)run->lock)->mutex);
}

void run_unlock(EXP_RUN *run)
{
    if (run->lock) pthread_mutex_unlock(&((RUN_LOCK *)run->lock)->mutex);
}

/* Marks the run failed, keeping the first failure's table, and wakes the
 * coordinator; every worker stops at its next check. */
static void fail_run(EXP_RUN *run, const EXP_TABLE *tab)
{
    run_lock(run);
    if (!run->failed) {
        run->failed = 1;
        run->failed_table = tab ? (int)(tab - run->tabs) : -1;
    }
    pthread_cond_broadcast(&((RUN_LOCK *)run->lock)->changed);
    run_unlock(run);
}

int take_snapshot_scn(EXP_WORKER *w)
{
    static const ub4 width[1] = {48};
    DICT_QUERY q;
    int ret = dict_open(w, &q, "SELECT DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER FROM DUAL", 1, width);
    if (ret == 0) {
        ret = dict_next(&q);
        if (ret == 1) snprintf(w->run->scn, sizeof(w->run->scn), "%s", q.val[0]);
        dict_close(&q);
    }
    if (ret != 1 || w->run->scn[0] == '\0') {
        if (!stop_requested())
            fprintf(stderr, "Read the snapshot's system change number error.\n%s\n",
                    get_ora_message(&w->env));
        return -1;
    }
    return 0;
}

/* Puts a worker's session on the coordinator's snapshot before it reads
 * any table. The number goes into the block as its digits (checked to be
 * nothing else): the embedded database does not pass a bind variable on
 * to the call's argument. Returns 0 or -1 (message printed). */
int enable_snapshot(EXP_WORKER *w)
{
    char sqltxt[128];
    const char *scn = w->run->scn;
    size_t n = strspn(scn, "0123456789");
    if (n == 0 || n > 20 || scn[n] != '\0') {
        fprintf(stderr, "System change number \"%s\" not understood.\n", scn);
        return -1;
    }
    snprintf(sqltxt, sizeof(sqltxt), "BEGIN DBMS_FLASHBACK.ENABLE_AT_SYSTEM_CHANGE_NUMBER(%s); END;",
             scn);
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return execute_statement(w, 1);
}

/* Sizes of the tables from the dictionary's statistics (NUM_ROWS times
 * AVG_ROW_LEN, else BLOCKS), for handing out the largest first. Tables
 * without statistics count 0 and keep their directory order. */
static void read_estimates(EXP_WORKER *w)
{
    static const ub4 widths[4] = {LONG_NAME_WIDTH, 48, 48, 48};
    char esc_owner[ESC_NAME_SIZE], sqltxt[ESC_NAME_SIZE + 160];
    DICT_QUERY q;
    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, NUM_ROWS, AVG_ROW_LEN, BLOCKS from ALL_TABLES where OWNER='%s'",
             esc_owner);
    w->dict_quiet = 1;
    int ret = dict_open(w, &q, sqltxt, 4, widths);
    w->dict_quiet = 0;
    if (ret != 0) return;  /* without statistics: directory order */
    while (dict_next(&q) == 1) {
        EXP_TABLE *tab = find_table(w->run, q.val[0]);
        if (!tab) continue;
        uint64_t rows = strtoull(q.val[1], NULL, 10), len = strtoull(q.val[2], NULL, 10);
        uint64_t blocks = strtoull(q.val[3], NULL, 10);
        tab->estimate = rows && len ? rows * len : blocks * 8192u;
    }
    dict_close(&q);
}

typedef struct {
    uint64_t estimate;
    int ti;
} SIZE_KEY;

/* Largest first; equal sizes in directory order. */
static int compare_estimates(const void *a, const void *b)
{
    const SIZE_KEY *x = (const SIZE_KEY *)a, *y = (const SIZE_KEY *)b;
    if (x->estimate != y->estimate) return x->estimate > y->estimate ? -1 : 1;
    return x->ti < y->ti ? -1 : x->ti > y->ti;
}

/* The order tables are handed out in. Returns 0 or -1 (out of memory). */
static int hand_out_order(EXP_RUN *run)
{
    SIZE_KEY *keys = (SIZE_KEY *)malloc(sizeof(SIZE_KEY) * (size_t)run->ntab);
    if (!keys) return -1;
    for (int i = 0; i < run->ntab; i++) {
        keys[i].estimate = run->tabs[i].estimate;
        keys[i].ti = i;
    }
    qsort(keys, (size_t)run->ntab, sizeof(SIZE_KEY), compare_estimates);
    for (int i = 0; i < run->ntab; i++) run->order[i] = keys[i].ti;
    free(keys);
    return 0;
}

/* Creates the worker's spill file beside the dump's temporary file (a
 * FILE that is a pipe or device has none: the system's temporary
 * directory then), mode 0600, a new name. Returns 0 or -1. */
static int open_spill(EXP_WORKER *w)
{
    const char *base = w->run->out.tmp[0] ? w->run->out.tmp : P_tmpdir "/tabexp";
    int n = snprintf(w->spill, sizeof(w->spill), "%s.w%d.XXXXXX", base, w->id);
    if (n < 0 || (size_t)n >= sizeof(w->spill)) {
        fprintf(stderr, "Open %s: %s\n", base, strerror(ENAMETOOLONG));
        w->spill[0] = '\0';
        return -1;
    }
    int fd = mkstemp(w->spill);
    if (fd < 0) {
        fprintf(stderr, "Open %s: %s\n", w->spill, strerror(errno));
        w->spill[0] = '\0';
        return -1;
    }
    w->fd = fd;
    w->data_ofs = 0;
    return 0;
}

static void *worker_main(void *arg)
{
    EXP_WORKER *w = (EXP_WORKER *)arg;
    EXP_RUN *run = w->run;

    w->env.mode = OCI_THREADED;
    if (connect_oracle(&w->env, w->run->conn.username, w->run->conn.password, w->run->conn.tnsname) != 0) {
        if (!worker_stopped(w)) fprintf(stderr, "Connect to oracle:\n%s\n", get_ora_message(&w->env));
        fail_run(run, NULL);
        return NULL;
    }
    if (!run->inconsistent && enable_snapshot(w) != 0) {
        if (!worker_stopped(w)) fprintf(stderr, "Start of the snapshot of a worker session error.\n");
        fail_run(run, NULL);
        return NULL;
    }
    for (;;) {
        EXP_TABLE *tab = NULL;
        run_lock(run);
        if (!run->failed && !stop_requested() && run->next < run->ntab)
            tab = &run->tabs[run->order[run->next++]];
        run_unlock(run);
        if (!tab) break;
        if (export_table(w, tab) != 0) {
            fail_run(run, tab);
            break;
        }
        run_lock(run);
        tab->spill_worker = w->id - 1;
        tab->spill_ofs = tab->info.offset;
        tab->done = 1;
        pthread_cond_broadcast(&((RUN_LOCK *)run->lock)->changed);
        run_unlock(run);
    }
    w->tab = NULL;
    return NULL;
}

/* Copies a finished section from its spill file to the dump's end and
 * gives the directory entry its place there. The section's own bytes,
 * length and checksum do not depend on where it stands. */
static int copy_section(EXP_RUN *run, EXP_TABLE *tab)
{
    EXP_WORKER *src = &run->workers[tab->spill_worker];
    EXP_WORKER *w = &run->main;
    loff_t in = (loff_t)tab->spill_ofs, out = (loff_t)w->data_ofs;
    uint64_t left = tab->length;
    int plain = 0;

    assert(w->ctail == 0 && tab->spill_ofs + tab->length <= src->data_ofs);
    while (left > 0 && !plain) {
        size_t want = left > (1u << 30) ? (1u << 30) : (size_t)left;
        ssize_t n = copy_file_range(src->fd, &in, run->fd, &out, want, 0);
        if (n < 0 && errno == EINTR && !stop_requested()) continue;
        if (n <= 0) {
            if (n < 0 && errno != ENOSYS && errno != EXDEV && errno != EINVAL &&
                errno != EOPNOTSUPP) {
                fprintf(stderr, "Write %s: %s\n", run->dump_filename, strerror(errno));
                return -1;
            }
            plain = 1;  /* this file system copies through the cache */
            break;
        }
        left -= (uint64_t)n;
    }
    /* the rest through the write cache, a cache's worth at a time */
    while (left > 0) {
        size_t want = left > (uint64_t)w->csz ? (size_t)w->csz : (size_t)left;
        ssize_t n = pread(src->fd, w->cache, want, in);
        if (n < 0 && errno == EINTR && !stop_requested()) continue;
        if (n <= 0) {
            fprintf(stderr, "Read %s: %s\n", src->spill, n < 0 ? strerror(errno) : "file ends early");
            return -1;
        }
        if (pwrite_all(w, w->cache, (size_t)n, (uint64_t)out) != 0) return -1;
        in += n;
        out += n;
        left -= (uint64_t)n;
    }
    tab->info.offset = w->data_ofs;
    w->data_ofs += tab->length;
    assert((uint64_t)out == w->data_ofs);
#ifdef FALLOC_FL_PUNCH_HOLE
    /* the section's room in the spill file is given back where the file
     * system can; the worker goes on writing behind it */
    if (tab->length > 0)
        (void)fallocate(src->fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, (off_t)tab->spill_ofs,
                        (off_t)tab->length);
#endif
    return 0;
}

/* Waits until table tab is done or the run fails or is stopped; 1 when
 * done. A signal wakes no condition: the wait looks again every 100 ms. */
static int wait_done(EXP_RUN *run, const EXP_TABLE *tab)
{
    RUN_LOCK *lk = (RUN_LOCK *)run->lock;
    int done;
    run_lock(run);
    while (!(done = tab->done) && !run->failed && !stop_requested()) {
        struct timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += 100000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec++;
            until.tv_nsec -= 1000000000L;
        }
        pthread_cond_timedwait(&lk->changed, &lk->mutex, &until);
    }
    run_unlock(run);
    return done;
}

int export_parallel(EXP_RUN *run)
{
    EXP_WORKER *main_w = &run->main;
    int n = run->parallel < run->ntab ? run->parallel : run->ntab;
    int started = 0, rc = -1;
    RUN_LOCK lk;
    pthread_t *threads = NULL;

    /* the lookups workers use are built now and only read afterwards */
    find_table(run, "");
    read_estimates(main_w);
    assert(run->inconsistent || run->scn[0] != '\0');

    run->order = (int *)malloc(sizeof(int) * (size_t)run->ntab);
    run->workers = (EXP_WORKER *)calloc((size_t)n, sizeof(EXP_WORKER));
    threads = (pthread_t *)calloc((size_t)n, sizeof(pthread_t));
    if (!run->order || !run->workers || !threads || hand_out_order(run) != 0) {
        fprintf(stderr, "Allocate memory for %d worker sessions error.\n", n);
        goto out;
    }

    pthread_mutex_init(&lk.mutex, NULL);
    pthread_cond_init(&lk.changed, NULL);
    run->lock = &lk;
    run->failed = 0;
    run->failed_table = -1;
    run->next = 0;

    for (int i = 0; i < n; i++) {
        EXP_WORKER *w = &run->workers[i];
        if (worker_open(w, run, i + 1) != 0 || open_spill(w) != 0) {
            fail_run(run, NULL);
            break;
        }
    }
    for (int i = 0; i < n && !run->failed; i++) {
        if (pthread_create(&threads[i], NULL, worker_main, &run->workers[i]) != 0) {
            fprintf(stderr, "Start of worker session %d error: %s\n", i + 1, strerror(errno));
            fail_run(run, NULL);
            break;
        }
        started++;
    }

    /* the sections in directory order, each as soon as it is complete */
    int copied = 0;
    for (int ti = 0; ti < run->ntab && !run->failed; ti++) {
        EXP_TABLE *tab = &run->tabs[ti];
        run->current_table = exp_table_name(tab);
        if (!wait_done(run, tab)) break;
        if (stop_requested() || copy_section(run, tab) != 0) {
            fail_run(run, NULL);
            break;
        }
        copied++;
    }
    if (copied < run->ntab && !run->failed) fail_run(run, NULL);  /* a stop: end the workers */
    for (int i = 0; i < started; i++) pthread_join(threads[i], NULL);
    run->current_table = NULL;
    if (copied == run->ntab) {
        rc = 0;
    } else if (!stop_requested() && run->failed_table >= 0) {
        /* the worker said what failed; this names the table */
        fprintf(stderr, "Table \"%s\" was not exported.\n",
                exp_table_name(&run->tabs[run->failed_table]));
    } else if (stop_requested() && run->failed_table >= 0) {
        run->current_table = exp_table_name(&run->tabs[run->failed_table]);
    }
    run->lock = NULL;
    pthread_mutex_destroy(&lk.mutex);
    pthread_cond_destroy(&lk.changed);

out:
    if (run->workers)
        for (int i = 0; i < n; i++) worker_close(&run->workers[i]);
    free(run->workers);
    run->workers = NULL;
    free(run->order);
    run->order = NULL;
    free(threads);
    main_w->tab = NULL;
    return rc;
}
