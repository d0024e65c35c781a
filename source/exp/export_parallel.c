/*
 * export_parallel.c - PARALLEL=n: worker sessions read the tables, and
 * the ROWID ranges of large ones, from the coordinator's snapshot, in the
 * order the dump holds them. Each table, or range of one, is a part of the
 * dump. The worker whose part is the one being written writes straight
 * into the dump; the others queue their bytes, in write caches up to a
 * bound of memory and beyond it in spill files of their own, and the
 * coordinator writes what is queued in the dump's order. Each section is
 * checksummed as its bytes reach the dump, so the file is byte for byte
 * the serial export's.
 */
#define _GNU_SOURCE  /* mkstemp, fallocate, sync_file_range */
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "args.h"
#include "dump_reader.h"
#include "exp_local.h"
#include "show_text.h"
#include "table_ranges.h"
#include "write_cache.h"

/* Write caches the run may hold for parts read ahead of the one being
 * written (64 MiB), besides each worker's own. */
#define POOL_BLOCKS 32
/* Bytes waiting to be written from which a worker writes at the head, or
 * waits for it, before it reads another part: reading stays no further
 * ahead of writing than memory holds. */
#define READ_AHEAD_LIMIT ((uint64_t)(POOL_BLOCKS - 8) * EXP_CACHE_SIZE)
#define WRITEBACK_STEP (8u << 20)

/* The lock of a parallel run and the condition every waiter waits on. */
typedef struct {
    pthread_mutex_t mutex;
    pthread_cond_t changed;
} RUN_LOCK;

/* Bytes of a part waiting for their place in the dump: a queued write
 * cache, or a stretch of the producer's spill file. */
typedef struct __seg {
    struct __seg *next;
    uint8_t *block;       /* NULL: in the spill file */
    uint64_t spill_ofs;
    size_t len;
    EXP_WORKER *w;        /* the producer */
} SEG;

/* A part of the dump: a whole table's section, or the bytes one range of
 * a table adds to its section. Parts stand in the dump in the order of
 * the array. */
typedef struct __exp_piece {
    int ti;
    int started;          /* (lock) handed out to a worker */
    int produced;         /* (lock) the producer has handed on all its bytes */
    SEG *first, *last;    /* (lock) its bytes waiting, in order */
    uint64_t rows;
} EXP_PIECE;

/* A worker's small writes gathered before they are queued, and the
 * buffer it reads spilled bytes back through. */
typedef struct {
    uint8_t *block;
    size_t len;
    uint8_t *readbuf;
} STAGE;

typedef struct __exp_pipe {
    RUN_LOCK lk;          /* first: run->lock points here */
    EXP_PIECE *pieces;
    int npieces;
    int *first_piece;     /* per table, its first part; one more entry: npieces */
    int next_table;       /* (lock) the table whose parts are handed out next */
    int by_size;          /* no table has ranges: tables go out largest first */
    int head;             /* (lock) the part being written into the dump */
    int moving;           /* (lock) a worker is moving the head on */
    uint64_t dump_ofs;    /* written only by whoever writes at the head */
    uint64_t writeback_ofs;
    uint64_t section_start;
    XXH3_state_t *sum;    /* the checksum of the section at the head */
    uint64_t target;      /* bytes of dump per range */
    STAGE *stage;         /* per worker */
    int nstage;
    uint8_t *free_blocks[POOL_BLOCKS + EXP_PARALLEL_MAX];  /* (lock) */
    int nfree;
    uint8_t *allocated[POOL_BLOCKS];  /* (lock) blocks the pool made */
    int nallocated;
    uint64_t direct_bytes, queued_bytes, spilled_bytes;  /* (lock) */
    uint64_t waiting_bytes;  /* (lock) queued and not yet written */
} EXP_PIPE;

void run_lock(EXP_RUN *run)
{
    if (run->lock) pthread_mutex_lock(&((RUN_LOCK *)run->lock)->mutex);
}

void run_unlock(EXP_RUN *run)
{
    if (run->lock) pthread_mutex_unlock(&((RUN_LOCK *)run->lock)->mutex);
}

static void wake_all(EXP_RUN *run)
{
    pthread_cond_broadcast(&((RUN_LOCK *)run->lock)->changed);
}

/* Waits on the run's condition for at most 100 ms (a signal wakes no
 * condition); the lock is held. */
static void wait_a_while(EXP_RUN *run)
{
    RUN_LOCK *lk = (RUN_LOCK *)run->lock;
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += 100000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    pthread_cond_timedwait(&lk->changed, &lk->mutex, &until);
}

void run_wait(EXP_RUN *run)
{
    if (run->lock) wait_a_while(run);
}

void run_wake(EXP_RUN *run)
{
    if (run->lock) wake_all(run);
}

/* Marks the run failed, keeping the first failure's table, and wakes
 * every waiter; every worker stops at its next check. */
static void fail_run(EXP_RUN *run, const EXP_TABLE *tab)
{
    run_lock(run);
    if (!run->failed) {
        run->failed = 1;
        run->failed_table = tab ? (int)(tab - run->tabs) : -1;
    }
    wake_all(run);
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

/* The order whole tables are handed out in when no table has ranges.
 * Returns 0 or -1 (out of memory). */
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

/* ---- writing at the head ------------------------------------------------- */

/* Writes bytes of the part at the head into the dump: checksummed into
 * the head's section, at the dump's end. Only one thread writes at the
 * head at a time: its producer while nothing of the part is queued, else
 * the coordinator. */
static int write_at_head(EXP_RUN *run, const uint8_t *p, size_t n)
{
    EXP_PIPE *pp = run->pipe;
    XXH3_64bits_update(pp->sum, p, n);
    if (pwrite_all(&run->main, p, n, pp->dump_ofs) != 0) return -1;
    pp->dump_ofs += n;
#if defined(__linux__) && defined(SYNC_FILE_RANGE_WRITE)
    /* the final fsync then waits for little more than the last step */
    if (pp->dump_ofs - pp->writeback_ofs >= WRITEBACK_STEP) {
        (void)sync_file_range(run->fd, (off_t)pp->writeback_ofs, (off_t)(pp->dump_ofs - pp->writeback_ofs),
                              SYNC_FILE_RANGE_WRITE);
        pp->writeback_ofs = pp->dump_ofs;
    }
#endif
    return 0;
}

/* A free write cache block, or a new one while the pool may grow; NULL
 * when the bytes must go to a spill file. The lock is held. */
static uint8_t *take_block(EXP_PIPE *pp)
{
    if (pp->nfree > 0) return pp->free_blocks[--pp->nfree];
    if (pp->nallocated == POOL_BLOCKS) return NULL;
    uint8_t *b = (uint8_t *)malloc(EXP_CACHE_SIZE);
    if (b) pp->allocated[pp->nallocated++] = b;
    return b;
}

static void give_block(EXP_PIPE *pp, uint8_t *b)
{
    assert(pp->nfree < POOL_BLOCKS + EXP_PARALLEL_MAX);
    pp->free_blocks[pp->nfree++] = b;
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

static void queue_seg(EXP_PIECE *p, SEG *s)
{
    s->next = NULL;
    if (p->last)
        p->last->next = s;
    else
        p->first = s;
    p->last = s;
}

/* Queues n bytes at src of the worker's part: the block itself when
 * `block` (the worker gives it up), else into a spill segment. The lock is
 * not held. Returns 0 or -1 (message printed). */
static int queue_bytes(EXP_WORKER *w, uint8_t *block, const uint8_t *src, size_t n)
{
    EXP_RUN *run = w->run;
    EXP_PIPE *pp = run->pipe;
    SEG *s = (SEG *)calloc(1, sizeof(SEG));
    if (!s) {
        fprintf(stderr, "Allocate memory for the parallel export error.\n");
        return -1;
    }
    s->len = n;
    s->w = w;
    if (block) {
        s->block = block;
    } else {
        if (!w->spill[0] && open_spill(w) != 0) {
            free(s);
            return -1;
        }
        if (pwrite_all(w, src, n, w->data_ofs) != 0) {
            free(s);
            return -1;
        }
        s->spill_ofs = w->data_ofs;
        w->data_ofs += n;
    }
    run_lock(run);
    queue_seg(w->piece, s);
    pp->waiting_bytes += n;
    if (block)
        pp->queued_bytes += n;
    else
        pp->spilled_bytes += n;
    wake_all(run);
    run_unlock(run);
    return 0;
}

/* Queues the worker's gathered small writes, if any. */
static int queue_stage(EXP_WORKER *w)
{
    STAGE *st = &w->run->pipe->stage[w->id - 1];
    if (st->len == 0) return 0;
    uint8_t *b = st->block;
    size_t n = st->len;
    st->block = NULL;
    st->len = 0;
    return queue_bytes(w, b, b, n);
}

/* Writes segment s, taken off the part at the head, into the dump, and
 * gives its block back (the lock is not held). The worker w writes it:
 * the part's producer, or the worker moving the head on. */
static int write_seg(EXP_WORKER *w, SEG *s)
{
    EXP_RUN *run = w->run;
    EXP_PIPE *pp = run->pipe;
    int ret = 0;
    if (s->block) {
        ret = write_at_head(run, s->block, s->len);
        run_lock(run);
        give_block(pp, s->block);
        pp->waiting_bytes -= s->len;
        wake_all(run);
        run_unlock(run);
    } else {
        STAGE *st = &pp->stage[w->id - 1];
        if (!st->readbuf && !(st->readbuf = (uint8_t *)malloc(EXP_CACHE_SIZE))) {
            fprintf(stderr, "Allocate memory for the parallel export error.\n");
            ret = -1;
        }
        for (size_t done = 0; ret == 0 && done < s->len;) {
            size_t want = s->len - done;
            if (want > EXP_CACHE_SIZE) want = EXP_CACHE_SIZE;
            ssize_t n = pread(s->w->fd, st->readbuf, want, (off_t)(s->spill_ofs + done));
            if (n < 0 && errno == EINTR && !worker_stopped(w)) continue;
            if (n <= 0) {
                fprintf(stderr, "Read %s: %s\n", s->w->spill, n < 0 ? strerror(errno) : "file ends early");
                ret = -1;
                break;
            }
            ret = write_at_head(run, st->readbuf, (size_t)n);
            done += (size_t)n;
        }
#ifdef FALLOC_FL_PUNCH_HOLE
        /* its room in the spill file is given back where the file system can */
        if (ret == 0)
            (void)fallocate(s->w->fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, (off_t)s->spill_ofs,
                            (off_t)s->len);
#endif
        run_lock(run);
        pp->waiting_bytes -= s->len;
        wake_all(run);
        run_unlock(run);
    }
    free(s);
    return ret;
}

/* Takes the first waiting segment off part p; the lock is held. */
static SEG *pop_seg(EXP_PIECE *p)
{
    SEG *s = p->first;
    if (s) {
        p->first = s->next;
        if (!p->first) p->last = NULL;
    }
    return s;
}

/* Whether the worker's part is the one being written into the dump. */
static int at_head(EXP_WORKER *w)
{
    EXP_PIPE *pp = w->run->pipe;
    run_lock(w->run);
    int yes = pp->head == (int)(w->piece - pp->pieces);
    run_unlock(w->run);
    return yes;
}

int pipe_write(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    EXP_PIPE *pp = run->pipe;
    STAGE *st = &pp->stage[w->id - 1];
    size_t n = (size_t)w->ctail;
    assert(n > 0 && w->piece);

    if (at_head(w)) {
        /* Its part is the dump's next: what it queued before goes first,
         * then its bytes go straight in. Nobody else writes a part that is
         * still being read. */
        SEG *s;
        for (;;) {
            run_lock(run);
            s = pop_seg(w->piece);
            run_unlock(run);
            if (!s) break;
            if (write_seg(w, s) != 0) return -1;
        }
        if (st->len > 0 && write_at_head(run, st->block, st->len) != 0) return -1;
        if (write_at_head(run, w->cache, n) != 0) return -1;
        run_lock(run);
        pp->direct_bytes += st->len + n;
        if (st->block) give_block(pp, st->block);
        run_unlock(run);
        st->block = NULL;
        st->len = 0;
    } else if (n >= (size_t)w->csz / 2) {
        /* a full cache is queued as it is (after what was gathered before
         * it); the worker takes a free one */
        if (queue_stage(w) != 0) return -1;
        run_lock(run);
        uint8_t *fresh = take_block(pp);
        run_unlock(run);
        if (fresh) {
            uint8_t *full = w->cache;
            w->cache = fresh;
            if (queue_bytes(w, full, full, n) != 0) return -1;
        } else if (queue_bytes(w, NULL, w->cache, n) != 0) {
            return -1;
        }
    } else {
        /* small writes (a LOB or LONG value each) are gathered in a block */
        if (st->len + n > (size_t)EXP_CACHE_SIZE && queue_stage(w) != 0) return -1;
        if (!st->block) {
            run_lock(run);
            st->block = take_block(pp);
            run_unlock(run);
        }
        if (st->block) {
            memcpy(st->block + st->len, w->cache, n);
            st->len += n;
        } else if (queue_bytes(w, NULL, w->cache, n) != 0) {
            return -1;
        }
    }
    w->out_bytes += n;
    w->ctail = 0;
    return 0;
}

static int is_last_piece(const EXP_RUN *run, int h);
static void finish_section(EXP_RUN *run, int ti);
static void begin_section(EXP_PIPE *pp);

/* Moves the head on over the parts that are complete, writing what they
 * queued, until it reaches one still being read (whose reader then writes
 * it) or the end. One worker at a time does this; the lock is held and is
 * let go while bytes are written. Returns 0 or -1 (message printed). */
static int move_head(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    EXP_PIPE *pp = run->pipe;
    if (pp->moving) return 0;
    pp->moving = 1;
    int ret = 0;
    while (pp->head < pp->npieces && !run->failed) {
        EXP_PIECE *p = &pp->pieces[pp->head];
        if (!p->produced) break;
        SEG *s = pop_seg(p);
        if (s) {
            run_unlock(run);
            ret = write_seg(w, s);
            run_lock(run);
            if (ret != 0) break;
            continue;
        }
        int ti = p->ti;
        if (is_last_piece(run, pp->head)) {
            finish_section(run, ti);
            pp->head = pp->first_piece[ti + 1];
            if (pp->head < pp->npieces) {
                pp->pieces[pp->head].ti = ti + 1;
                begin_section(pp);
            }
        } else {
            pp->head++;
            pp->pieces[pp->head].ti = ti;
        }
        wake_all(run);
    }
    pp->moving = 0;
    return ret;
}

/* The worker's part is complete: what it gathered is queued, the part is
 * marked produced, and when it is at the head the worker moves the head
 * on. Returns 0 or -1. */
static int end_piece(EXP_WORKER *w, uint64_t rows)
{
    EXP_RUN *run = w->run;
    EXP_PIPE *pp = run->pipe;
    assert(w->ctail == 0);
    if (queue_stage(w) != 0) return -1;
    run_lock(run);
    w->piece->rows = rows;
    w->piece->produced = 1;
    int ret = pp->head == (int)(w->piece - pp->pieces) ? move_head(w) : 0;
    wake_all(run);
    run_unlock(run);
    w->piece = NULL;
    return ret;
}

/* ---- ranges ------------------------------------------------------------- */

int publish_split_head(EXP_WORKER *w, EXP_TABLE *tab)
{
    EXP_SPLIT_HEAD *h = &tab->split->head;
    size_t block = sizeof(COL_INFO) * tab->info.ncol;
    COL_INFO *cols = (COL_INFO *)malloc(block ? block : 1);
    char *text = (char *)malloc(w->table_text_len + 1);
    if (!cols || !text) {
        free(cols);
        free(text);
        fprintf(stderr, "Allocate memory for the columns of table \"%s\" error.\n", exp_table_name(tab));
        return -1;
    }
    memcpy(cols, w->colp, block);
    memcpy(text, w->table_text, w->table_text_len + 1);
    run_lock(w->run);
    h->ncol = tab->info.ncol;
    h->flag = tab->info.flag;
    h->cols = cols;
    h->table_text = text;
    h->table_text_len = w->table_text_len;
    memcpy(h->identity_col, w->identity_col, sizeof(h->identity_col));
    memcpy(h->identity_kind, w->identity_kind, sizeof(h->identity_kind));
    h->ready = 1;
    wake_all(w->run);
    run_unlock(w->run);
    return 0;
}

int wait_split_head(EXP_WORKER *w, EXP_SPLIT *s)
{
    int ready;
    run_lock(w->run);
    while (!(ready = s->head.ready) && !worker_stopped(w)) wait_a_while(w->run);
    run_unlock(w->run);
    return ready ? 0 : -1;
}

void range_done(EXP_WORKER *w, EXP_TABLE *tab, const EXP_RANGE *r, uint64_t bytes)
{
    EXP_RUN *run = w->run;
    EXP_SPLIT *s = tab->split;
    long long trips = metrics_part_trips(&w->env);
    run_lock(run);
    range_read(s, r, bytes);
    s->rows += (uint64_t)w->nrow;
    s->pieces_done++;
    if (w->rows_fmt) s->line_fmt = w->rows_fmt;
    /* METRICS=Y: the table's time from its first range on, and the round
     * trips of all its ranges, whichever session read them */
    if (r->first) s->started = metrics_part_start(&w->env);
    if (trips < 0) s->trips_unknown = 1;
    else s->trips += trips;
    /* the table's line, whole, once its last range is read */
    if (s->next >= s->n && s->pieces_done == s->pieces && s->line_fmt) {
        char metrics[64] = "";
        if (run->opts.metrics)
            metrics_format(metrics, sizeof(metrics), -s->started, s->trips_unknown ? -1 : s->trips);
        print_table_line(run->ofp, s->line_fmt, exp_table_name(tab), (int)s->rows, metrics);
    }
    run_unlock(run);
}

/* ---- handing out --------------------------------------------------------- */

typedef struct {
    EXP_TABLE *tab;
    int piece;
    int ranged;
    EXP_RANGE range;
} TASK;

/* The next part to read: the tables in the dump's order, each table with
 * ranges range after range (largest first when no table has ranges).
 * The lock is held. Returns 0 when nothing is left. */
static int hand_out(EXP_RUN *run, TASK *t)
{
    EXP_PIPE *pp = run->pipe;
    memset(t, 0, sizeof(*t));
    if (pp->by_size) {
        if (run->next >= run->ntab) return 0;
        int ti = run->order[run->next++];
        t->tab = &run->tabs[ti];
        t->piece = pp->first_piece[ti];
        return 1;
    }
    while (pp->next_table < run->ntab) {
        int ti = pp->next_table;
        EXP_TABLE *tab = &run->tabs[ti];
        if (!tab->split) {
            pp->next_table++;
            t->tab = tab;
            t->piece = pp->first_piece[ti];
            return 1;
        }
        if (next_range(tab->split, pp->target, &t->range)) {
            if (t->range.last) pp->next_table++;
            t->tab = tab;
            t->ranged = 1;
            t->piece = pp->first_piece[ti] + tab->split->pieces - 1;
            return 1;
        }
        pp->next_table++;
    }
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
        TASK t;
        int got = 0;
        run_lock(run);
        /* Far enough ahead of the dump: write at the head when its part is
         * complete and nobody else is, else wait for the writing, as long
         * as some worker has the head's part (tables handed out largest
         * first may leave it to be handed out). */
        EXP_PIPE *pp = run->pipe;
        while (!run->failed && !stop_requested() && pp->waiting_bytes >= READ_AHEAD_LIMIT &&
               pp->head < pp->npieces && pp->pieces[pp->head].started) {
            if (!pp->moving && pp->head < pp->npieces && pp->pieces[pp->head].produced) {
                if (move_head(w) != 0) {
                    run_unlock(run);
                    fail_run(run, NULL);
                    return NULL;
                }
                continue;
            }
            wait_a_while(run);
        }
        if (!run->failed && !stop_requested()) got = hand_out(run, &t);
        if (got) {
            pp->pieces[t.piece].ti = (int)(t.tab - run->tabs);
            pp->pieces[t.piece].started = 1;
        }
        run_unlock(run);
        if (!got) break;
        w->piece = &run->pipe->pieces[t.piece];
        int rc = t.ranged ? export_range(w, t.tab, &t.range) : export_table(w, t.tab);
        if (rc == 0) rc = end_piece(w, (uint64_t)w->nrow);
        if (rc != 0) {
            fail_run(run, t.tab);
            break;
        }
    }
    w->piece = NULL;
    w->tab = NULL;
    return NULL;
}

/* ---- the coordinator ----------------------------------------------------- */

static int is_last_piece(const EXP_RUN *run, int h)
{
    const EXP_PIPE *pp = run->pipe;
    int ti = pp->pieces[h].ti;
    const EXP_SPLIT *s = run->tabs[ti].split;
    if (!s) return 1;
    return s->next >= s->n && h == pp->first_piece[ti] + s->pieces - 1;
}

static void begin_section(EXP_PIPE *pp)
{
    pp->section_start = pp->dump_ofs;
    XXH3_64bits_reset(pp->sum);
}

/* The section of table ti has all its bytes in the dump. */
static void finish_section(EXP_RUN *run, int ti)
{
    EXP_PIPE *pp = run->pipe;
    EXP_TABLE *tab = &run->tabs[ti];
    tab->info.offset = pp->section_start;
    tab->length = pp->dump_ofs - pp->section_start;
    tab->sum = XXH3_64bits_digest(pp->sum);
    if (tab->split) {
        tab->rows = tab->split->rows;
        tab->info.nrows = (uint32_t)tab->rows;
    } else {
        tab->rows = pp->pieces[pp->first_piece[ti]].rows;
    }
}

/* Waits until every section is in the dump, or the run fails or is
 * stopped (the workers are told then). Returns 0 or -1. */
static int wait_parts(EXP_RUN *run)
{
    EXP_PIPE *pp = run->pipe;
    int ret = 0;
    run_lock(run);
    while (pp->head < pp->npieces) {
        run->current_table = exp_table_name(&run->tabs[pp->pieces[pp->head].ti]);
        if (run->failed || stop_requested()) {
            ret = -1;
            break;
        }
        wait_a_while(run);
    }
    run_unlock(run);
    if (ret != 0) fail_run(run, NULL);
    return ret;
}

static void free_pipe(EXP_PIPE *pp)
{
    if (!pp) return;
    for (int i = 0; pp->pieces && i < pp->npieces; i++) {
        for (SEG *s = pp->pieces[i].first; s;) {
            SEG *next = s->next;
            free(s);
            s = next;
        }
    }
    for (int i = 0; i < pp->nallocated; i++) free(pp->allocated[i]);
    if (pp->sum) XXH3_freeState(pp->sum);
    for (int i = 0; pp->stage && i < pp->nstage; i++) free(pp->stage[i].readbuf);
    free(pp->stage);
    free(pp->pieces);
    free(pp->first_piece);
    free(pp);
}

/* Lays out the parts: one per table, as many as extents for a table with
 * ranges (at most that many ranges are handed out). */
static EXP_PIPE *new_pipe(EXP_RUN *run, int nworkers)
{
    EXP_PIPE *pp = (EXP_PIPE *)calloc(1, sizeof(EXP_PIPE));
    if (!pp) return NULL;
    pp->first_piece = (int *)malloc(sizeof(int) * ((size_t)run->ntab + 1));
    pp->stage = (STAGE *)calloc((size_t)nworkers, sizeof(STAGE));
    pp->nstage = nworkers;
    pp->sum = XXH3_createState();
    if (!pp->first_piece || !pp->stage || !pp->sum) {
        free_pipe(pp);
        return NULL;
    }
    pp->by_size = 1;
    for (int i = 0; i < run->ntab; i++) {
        pp->first_piece[i] = pp->npieces;
        pp->npieces += run->tabs[i].split ? run->tabs[i].split->n : 1;
        if (run->tabs[i].split) pp->by_size = 0;
    }
    pp->first_piece[run->ntab] = pp->npieces;
    pp->pieces = (EXP_PIECE *)calloc((size_t)pp->npieces, sizeof(EXP_PIECE));
    if (!pp->pieces) {
        free_pipe(pp);
        return NULL;
    }
    pp->target = range_target(run);
    return pp;
}

int export_parallel(EXP_RUN *run)
{
    EXP_WORKER *main_w = &run->main;
    int n = run->parallel;
    int started = 0, rc = -1;
    pthread_t *threads = NULL;
    EXP_PIPE *pp = NULL;

    /* the lookups workers use are built now and only read afterwards */
    find_table(run, "");
    read_estimates(main_w);
    assert(run->inconsistent || run->scn[0] != '\0');

    /* no more workers than parts to read */
    int parts = 0;
    for (int i = 0; i < run->ntab && parts < n; i++) parts += run->tabs[i].split ? run->tabs[i].split->n : 1;
    if (parts < n) n = parts;

    run->order = (int *)malloc(sizeof(int) * (size_t)run->ntab);
    run->workers = (EXP_WORKER *)calloc((size_t)n, sizeof(EXP_WORKER));
    threads = (pthread_t *)calloc((size_t)n, sizeof(pthread_t));
    pp = new_pipe(run, n);
    if (!run->order || !run->workers || !threads || !pp || hand_out_order(run) != 0) {
        fprintf(stderr, "Allocate memory for %d worker sessions error.\n", n);
        goto out;
    }

    pthread_mutex_init(&pp->lk.mutex, NULL);
    pthread_cond_init(&pp->lk.changed, NULL);
    run->pipe = pp;
    /* batches of dictionary reads follow the order tables go out in (in
     * directory order without the map) */
    if (pp->by_size && (run->hand_pos = (int *)malloc(sizeof(int) * (size_t)run->ntab)) != NULL)
        for (int i = 0; i < run->ntab; i++) run->hand_pos[run->order[i]] = i;
    run->lock = &pp->lk;
    run->failed = 0;
    run->failed_table = -1;
    run->next = 0;
    pp->dump_ofs = pp->writeback_ofs = main_w->data_ofs;
    pp->pieces[0].ti = 0;
    begin_section(pp);

    for (int i = 0; i < n; i++) {
        if (worker_open(&run->workers[i], run, i + 1) != 0) {
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

    int written = !run->failed && wait_parts(run) == 0;
    for (int i = 0; i < started; i++) pthread_join(threads[i], NULL);
    run->current_table = NULL;
    if (written && !run->failed) {
        main_w->data_ofs = pp->dump_ofs;
        write_run_stats(run, pp->direct_bytes, pp->queued_bytes, pp->spilled_bytes);
        rc = 0;
    } else if (!stop_requested() && run->failed_table >= 0) {
        /* the worker said what failed; this names the table */
        fprintf(stderr, "Table \"%s\" was not exported.\n", exp_table_name(&run->tabs[run->failed_table]));
    } else if (stop_requested() && run->failed_table >= 0) {
        run->current_table = exp_table_name(&run->tabs[run->failed_table]);
    }
    run->lock = NULL;
    run->pipe = NULL;
    pthread_mutex_destroy(&pp->lk.mutex);
    pthread_cond_destroy(&pp->lk.changed);

out:
    if (run->workers) {
        for (int i = 0; i < n; i++) {
            EXP_WORKER *w = &run->workers[i];
            /* a worker's cache may be a block of the pool by now */
            if (w->buf) w->cache = w->buf + EXP_ROW_AREA;
            worker_close(w);
        }
    }
    free_pipe(pp);
    free(run->workers);
    run->workers = NULL;
    free(run->order);
    run->order = NULL;
    free(run->hand_pos);
    run->hand_pos = NULL;
    free(threads);
    main_w->tab = NULL;
    return rc;
}
