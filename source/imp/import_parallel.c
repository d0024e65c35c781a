/*
 * import_parallel.c - PARALLEL=n: n worker threads, each with its own
 * session, reader cursor, read window and bind area, take the selected
 * tables in directory order.
 *
 * The database takes one writer at a time (the embedded one serialises
 * writers, and a table's rows are one transaction), so a worker holds the
 * run's write turn from its table's CREATE to the commit of its rows and
 * its indexes. What needs no database runs outside the turn, beside the
 * writer: reading the next table's section whole, checking its structure,
 * its checksum and its statements. A worker never holds a transaction open
 * while it waits, so the sessions cannot wait on each other's locks.
 */
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "table_name.h"
#include "verify_section.h"

typedef struct __imp_parallel {
    IMP_RUN *run;
    pthread_mutex_t lock;   /* the run's lock: next, failed, stop_lines, the object lists */
    pthread_mutex_t turn;   /* the write turn: one worker in the database at a time */
    int next;               /* the next table to hand out */
    int failed;             /* a worker failed: no table is begun after it */
    int stop_lines;         /* workers that reported a stop in their table */
} IMP_PARALLEL;

typedef struct __imp_slot {
    IMP_PARALLEL *par;
    IMP_WORKER w;
    DUMP_READER dump;
    pthread_t tid;
    int started;
} IMP_SLOT;

/* Whether the run is to end: a stop was asked for or a worker failed. */
static int halted(IMP_PARALLEL *par)
{
    pthread_mutex_lock(&par->lock);
    int h = par->failed || stop_requested();
    pthread_mutex_unlock(&par->lock);
    return h;
}

static void fail(IMP_PARALLEL *par)
{
    pthread_mutex_lock(&par->lock);
    par->failed = 1;
    pthread_mutex_unlock(&par->lock);
}

/* The next selected table in directory order, or NULL when none is left
 * or the run is to end. */
static IMP_TABLE *take_table(IMP_PARALLEL *par)
{
    IMP_RUN *run = par->run;
    IMP_TABLE *t = NULL;
    pthread_mutex_lock(&par->lock);
    while (!par->failed && !stop_requested() && par->next < run->ntab) {
        IMP_TABLE *c = &run->tables[par->next++];
        if (table_selected(&run->opts.tables, TABLE_NAME(c))) {
            t = c;
            break;
        }
    }
    pthread_mutex_unlock(&par->lock);
    return t;
}

/* Sections up to this size are cheap to check: the worker that holds the
 * turn loads the next table too when its section is no larger, instead
 * of passing the turn on. Each pass of the turn costs the next writer's
 * connection a new read of the file's schema (the embedded database's
 * connections each load it again after another's DDL), which is dearer
 * than checking a small section inside the turn. */
#define STICKY_SECTION_MAX ((uint64_t)1 << 20)

/* The next selected table when its section is small (see above), else
 * NULL and nothing taken. */
static IMP_TABLE *take_small_table(IMP_PARALLEL *par)
{
    IMP_RUN *run = par->run;
    IMP_TABLE *t = NULL;
    pthread_mutex_lock(&par->lock);
    while (!par->failed && !stop_requested() && par->next < run->ntab) {
        IMP_TABLE *c = &run->tables[par->next];
        if (!table_selected(&run->opts.tables, TABLE_NAME(c))) {
            par->next++;
            continue;
        }
        /* the directory's offsets, as a size only: a damaged one makes
         * the section count as large */
        uint64_t end = par->next + 1 < run->ntab ? run->tables[par->next + 1].info.offset : run->file_size;
        if (end > c->info.offset && end - c->info.offset <= STICKY_SECTION_MAX) {
            par->next++;
            t = c;
        }
        break;
    }
    pthread_mutex_unlock(&par->lock);
    return t;
}

/* The end of a worker's table that did not complete, under the turn: a
 * stop rolls it back and drops it when the worker created it (as a serial
 * run does); a failure rolls back its open rows. */
static void end_unfinished(IMP_SLOT *s)
{
    IMP_WORKER *w = &s->w;
    if (stop_requested()) {
        if (w->table) {
            report_table(NULL);
            imp_stop_worker(w);
            pthread_mutex_lock(&s->par->lock);
            s->par->stop_lines++;
            pthread_mutex_unlock(&s->par->lock);
        }
        return;
    }
    if (w->env.svchp && w->env.errhp && w->env.usrhp)
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
    fail(s->par);
}

/* Connects the worker's session, under the turn so that the database
 * sees one thread at a time. 0 or -1 after the message. */
static int connect_worker(IMP_SLOT *s)
{
    IMP_WORKER *w = &s->w;
    w->env.mode = OCI_THREADED;
    if (connect_oracle(&w->env, w->run->conn.username, w->run->conn.password, w->run->conn.tnsname) < 0) {
        fprintf(stderr, "Connect to oracle:\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (set_current_schema(w) < 0) {
        fprintf(stderr, "Set current SCHEMA error.\n");
        return -1;
    }
    return 0;
}

static void *work(void *arg)
{
    IMP_SLOT *s = arg;
    IMP_PARALLEL *par = s->par;
    IMP_WORKER *w = &s->w;

    pthread_mutex_lock(&par->turn);
    int rc = halted(par) ? 0 : connect_worker(s);
    pthread_mutex_unlock(&par->turn);
    if (rc < 0) {
        fail(par);
        return NULL;
    }
    int held = 0; /* the turn, kept from the table before */
    for (IMP_TABLE *t = take_table(par); t != NULL;) {
        w->table = t;
        w->table_created = 0;
        /* its section read and checked while another worker writes (or
         * inside the turn, for a small one taken while holding it) */
        if (verify_section(w, t) < 0) {
            w->table = NULL;
            if (held) pthread_mutex_unlock(&par->turn);
            if (!stop_requested()) fail(par);
            break;
        }
        w->verified = t;
        if (!held) pthread_mutex_lock(&par->turn);
        held = 1;
        if (halted(par)) {
            /* begun by nothing: it stays out, as the tables after a
             * serial run's failure do */
            pthread_mutex_unlock(&par->turn);
            w->table = NULL;
            w->verified = NULL;
            break;
        }
        report_table(TABLE_NAME(t));
        rc = import_table(w, t);
        report_table(NULL);
        if (rc < 0) {
            end_unfinished(s);
            pthread_mutex_unlock(&par->turn);
            break;
        }
        /* A table without rows commits nothing: its lock would outlast
         * the turn and hold up the next writer. One whose rows were
         * committed has nothing open: its statements since are DDL, which
         * commits, or were rolled back when they failed under a lock. */
        sword st = w->rows_committed ? OCI_SUCCESS : OCITransCommit(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stderr, "OCITransCommit()\n%s\n", get_ora_message(&w->env));
            end_unfinished(s);
            pthread_mutex_unlock(&par->turn);
            break;
        }
        t->done = 1;
        if ((t = take_small_table(par)) != NULL) continue;
        pthread_mutex_unlock(&par->turn);
        held = 0;
        t = take_table(par);
    }
    w->table = NULL;
    return NULL;
}

int import_parallel(IMP_RUN *run, IMP_WORKER *coordinator)
{
    /* no more workers, and sessions, than selected tables */
    int n = 0;
    for (int i = 0; i < run->ntab && n < run->parallel; i++)
        if (table_selected(&run->opts.tables, TABLE_NAME(&run->tables[i]))) n++;
    if (n == 0) n = 1;
    IMP_PARALLEL par;
    memset(&par, 0, sizeof(par));
    par.run = run;
    pthread_mutex_init(&par.lock, NULL);
    pthread_mutex_init(&par.turn, NULL);
    /* the object lists are shared from here on */
    run->lock = &par.lock;

    IMP_SLOT *slots = calloc((size_t)n, sizeof(IMP_SLOT));
    int rc = 0;
    if (!slots) {
        fprintf(stderr, "Allocate memory error.\n");
        rc = -1;
    }
    for (int i = 0; rc == 0 && i < n; i++) {
        IMP_SLOT *s = &slots[i];
        s->par = &par;
        if (imp_worker_begin(run, &s->w, &s->dump) < 0) {
            fail(&par);
            break;
        }
        if (pthread_create(&s->tid, NULL, work, s) != 0) {
            fprintf(stderr, "Start worker %d of %d failed.\n", i + 1, n);
            fail(&par);
            break;
        }
        s->started = 1;
    }
    for (int i = 0; slots && i < n; i++) {
        if (slots[i].started) pthread_join(slots[i].tid, NULL);
        imp_worker_end(&slots[i].w);
    }
    free(slots);
    run->lock = NULL;
    pthread_mutex_destroy(&par.turn);
    pthread_mutex_destroy(&par.lock);

    if (rc < 0) return rc;
    if (stop_requested()) {
        if (par.stop_lines == 0)
            fprintf(stderr, "Import stopped by %s between tables.\n",
                    stop_signal_name(stop_requested()));
        coordinator->table = NULL;
        imp_report_stop(run, coordinator);
        return -2;
    }
    return par.failed ? -1 : 0;
}
