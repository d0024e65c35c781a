/*
 * table_meta.c - the dictionary rows and DDL texts a table section starts
 * and ends with (CREATE TABLE, columns, indexes, primary key), read for a
 * batch of tables at once: four queries per batch instead of seven per
 * table. A piece a batch could not give is read per table as before.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"
#include "table_meta.h"

static const char table_setup[] =
    "BEGIN\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', %s);\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'CONSTRAINTS', FALSE);\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'REF_CONSTRAINTS', FALSE);\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'CONSTRAINTS_AS_ALTER', FALSE);\n"
    "END;";

const char *table_transforms(void)
{
    return table_setup;
}

/* Appends one NUL-terminated string of n bytes. 0 or -1 (out of memory). */
static int list_add(META_LIST *l, const char *s, size_t n)
{
    if (l->len + n + 1 > l->cap) {
        size_t cap = l->cap ? l->cap : 256;
        while (cap < l->len + n + 1) cap *= 2;
        char *p = (char *)realloc(l->buf, cap);
        if (!p) return -1;
        l->buf = p;
        l->cap = cap;
    }
    memcpy(l->buf + l->len, s, n);
    l->buf[l->len + n] = '\0';
    l->len += n + 1;
    l->n++;
    return 0;
}

const char *meta_next(const META_LIST *l, size_t *at)
{
    if (*at >= l->len) return NULL;
    const char *s = l->buf + *at;
    *at += strlen(s) + 1;
    return s;
}

static void free_meta(TABLE_META *m)
{
    if (!m) return;
    free(m->table.buf);
    free(m->cols.buf);
    free(m->index.buf);
    free(m->key.buf);
    free(m);
}

/* Which of the batch's n tables the name is; -1 none. */
static int batch_slot(EXP_TABLE **tabs, int n, const char *name)
{
    for (int i = 0; i < n; i++)
        if (strcmp(exp_table_name(tabs[i]), name) == 0) return i;
    return -1;
}

/* Columns of a batch query: the table's name, then ncol - 1 values. */
typedef struct {
    int ncol;
    ub4 widths[4];
    size_t list;          /* offsetof the META_LIST in TABLE_META */
    int text;             /* the last column is a DDL text (cut: the piece is read alone) */
    int one;              /* at most one row per table */
} BATCH_QUERY;

/* Whether a failed batch query failed over one object's text (the
 * server's DBMS_METADATA errors, a text too long for its buffer): the
 * per-table queries then meet it at that object, as a run always has.
 * Any other failure (the session lost, killed) ends the run here. */
static int object_failure(EXP_WORKER *w)
{
    int code = get_ora_code(&w->env);
    return (code >= 31600 && code <= 31699) || code == 1406 || code == 24345;
}

/* Runs sqltxt and files each row under its table. Returns 0 (the piece is
 * ok where the query ran through), or -1 with the message printed. */
static int read_piece(EXP_WORKER *w, const char *sqltxt, const BATCH_QUERY *bq, EXP_TABLE **tabs,
                      TABLE_META **metas, int n)
{
    DICT_QUERY q;
    int ret;
    char *bad = (char *)calloc((size_t)n, 1);
    if (!bad) {
        fprintf(stderr, "Allocate memory for the dictionary rows error.\n");
        return -1;
    }
    w->dict_quiet = 1;
    ret = dict_open(w, &q, sqltxt, bq->ncol, bq->widths);
    if (ret == 0) {
        while ((ret = dict_next(&q)) == 1) {
            int i = batch_slot(tabs, n, q.val[0]);
            if (i < 0 || bad[i]) continue;
            META_LIST *l = (META_LIST *)((char *)metas[i] + bq->list);
            if ((bq->text && q.rcode[bq->ncol - 1] == 1406) || (bq->one && l->n > 0)) {
                bad[i] = 1;
                continue;
            }
            for (int c = 1; c < bq->ncol; c++) {
                if (list_add(l, q.val[c], strlen(q.val[c])) != 0) {
                    bad[i] = 1;
                    break;
                }
            }
        }
        dict_close(&q);
    }
    w->dict_quiet = 0;
    if (ret == 0) {
        for (int i = 0; i < n; i++) {
            META_LIST *l = (META_LIST *)((char *)metas[i] + bq->list);
            l->ok = !bad[i] && (!bq->one || l->n == 1);
        }
    }
    free(bad);
    if (worker_stopped(w)) return -1;
    if (ret < 0 && !object_failure(w)) {
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        return -1;
    }
    return 0;
}

/* The four queries of a batch. Returns 0 (pieces not read stay not ok)
 * or -1 (message printed, or a stop was asked). */
static int read_batch(EXP_WORKER *w, EXP_TABLE **tabs, TABLE_META **metas, int n)
{
    char esc_owner[ESC_NAME_SIZE], esc[ESC_NAME_SIZE];
    size_t cap = (size_t)n * (ESC_NAME_SIZE + 4) + 1;
    char *names = (char *)malloc(cap);
    if (!names) {
        fprintf(stderr, "Allocate memory for the dictionary rows error.\n");
        return -1;
    }
    size_t len = 0;
    for (int i = 0; i < n; i++) {
        sql_escape(esc, sizeof(esc), exp_table_name(tabs[i]), '\'');
        len += (size_t)snprintf(names + len, cap - len, "%s'%s'", i ? "," : "", esc);
    }
    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    size_t qcap = len + 1024;
    char *sqltxt = (char *)malloc(qcap);
    if (!sqltxt) {
        fprintf(stderr, "Allocate memory for the dictionary rows error.\n");
        free(names);
        return -1;
    }

    static const BATCH_QUERY table_q = {2, {LONG_NAME_WIDTH, META_TEXT_WIDTH}, offsetof(TABLE_META, table), 1, 1};
    static const BATCH_QUERY cols_q = {4, {LONG_NAME_WIDTH, LONG_NAME_WIDTH, LONG_NAME_WIDTH, 16},
                                       offsetof(TABLE_META, cols), 0, 0};
    static const BATCH_QUERY index_q = {2, {LONG_NAME_WIDTH, META_TEXT_WIDTH}, offsetof(TABLE_META, index), 1, 0};
    static const BATCH_QUERY key_q = {2, {LONG_NAME_WIDTH, META_TEXT_WIDTH}, offsetof(TABLE_META, key), 1, 0};
    int rc = -1;

    /* the transforms of the table's text, which also hold for the index
     * and key texts (SEGMENT_ATTRIBUTES alone applies to them) */
    if (run_transform_block(w, table_setup) != 0) goto out;
    {
        snprintf(sqltxt, qcap,
                 "select TABLE_NAME, DBMS_METADATA.GET_DDL('TABLE', TABLE_NAME, OWNER) from ALL_TABLES\n"
                 "where OWNER='%s' and TABLE_NAME in (%s)", esc_owner, names);
        if (read_piece(w, sqltxt, &table_q, tabs, metas, n) != 0) goto out;
    }
    snprintf(sqltxt, qcap,
             "select TABLE_NAME, COLUMN_NAME, DATA_TYPE, DATA_LENGTH\n"
             "from ALL_TAB_COLS\n"
             "where OWNER='%s' and TABLE_NAME in (%s) and HIDDEN_COLUMN='NO' and VIRTUAL_COLUMN='NO'\n"
             "order by TABLE_NAME, COLUMN_ID", esc_owner, names);
    if (read_piece(w, sqltxt, &cols_q, tabs, metas, n) != 0) goto out;
    {
        snprintf(sqltxt, qcap,
                 "select TABLE_NAME, DBMS_METADATA.GET_DDL('INDEX', INDEX_NAME, OWNER)\n"
                 "from ALL_INDEXES\n"
                 "where TABLE_OWNER='%s' and TABLE_NAME in (%s) and OWNER=TABLE_OWNER\n"
                 "and (INDEX_TYPE like 'NORMAL%%' or INDEX_TYPE like 'FUNCTION%%'\n"
                 "or INDEX_TYPE like 'BITMAP%%')\n", esc_owner, names);
        if (read_piece(w, sqltxt, &index_q, tabs, metas, n) != 0) goto out;
        snprintf(sqltxt, qcap,
                 "select TABLE_NAME, DBMS_METADATA.GET_DDL('CONSTRAINT', CONSTRAINT_NAME, OWNER)\n"
                 "from ALL_CONSTRAINTS\n"
                 "where OWNER='%s' and TABLE_NAME in (%s) and CONSTRAINT_TYPE='P'\n"
                 "and not exists (select 1 from ALL_TABLES t where t.OWNER=ALL_CONSTRAINTS.OWNER\n"
                 "     and t.TABLE_NAME=ALL_CONSTRAINTS.TABLE_NAME and t.IOT_TYPE='IOT')\n",
                 esc_owner, names);
        if (read_piece(w, sqltxt, &key_q, tabs, metas, n) != 0) goto out;
    }
    rc = 0;
out:
    free(sqltxt);
    free(names);
    return rc;
}

/* The table at place pos of the order tables are handed out in. */
static EXP_TABLE *table_at(EXP_RUN *run, int pos)
{
    return &run->tabs[run->hand_pos ? run->order[pos] : pos];
}

int table_meta(EXP_WORKER *w, EXP_TABLE *tab, TABLE_META **out)
{
    EXP_RUN *run = w->run;
    EXP_TABLE *batch[META_BATCH];
    TABLE_META *metas[META_BATCH];
    int n = 0;

    run_lock(run);
    /* another worker reading the table's batch is soon done */
    while (tab->meta_state == TABLE_META_READING && !worker_stopped(w)) run_wait(run);
    if (tab->meta_state != TABLE_META_NONE) {
        *out = tab->meta_state == TABLE_META_READY ? tab->meta : NULL;
        run_unlock(run);
        return 0;
    }
    /* The batches are fixed runs of the hand-out order, whoever reads
     * them: a run costs the same queries every time. */
    int ti = (int)(tab - run->tabs);
    int pos = run->hand_pos ? run->hand_pos[ti] : ti;
    int first = pos - pos % META_BATCH;
    for (int p = first; p < run->ntab && p < first + META_BATCH; p++) {
        EXP_TABLE *t = table_at(run, p);
        if (t->meta_state != TABLE_META_NONE) continue;
        t->meta_state = TABLE_META_READING;
        batch[n++] = t;
    }
    run_unlock(run);

    /* without memory for it, the tables' own queries read the batch */
    int ok = 1, rc = 0;
    for (int i = 0; i < n; i++) {
        metas[i] = (TABLE_META *)calloc(1, sizeof(TABLE_META));
        if (!metas[i]) ok = 0;
    }
    if (ok && read_batch(w, batch, metas, n) != 0) ok = 0, rc = -1;

    run_lock(run);
    for (int i = 0; i < n; i++) {
        if (!ok) {
            free_meta(metas[i]);
            metas[i] = NULL;
        }
        batch[i]->meta = metas[i];
        batch[i]->meta_state = TABLE_META_READY;
    }
    *out = tab->meta;
    run_wake(run);
    run_unlock(run);
    return rc;
}

void drop_table_meta(EXP_RUN *run, EXP_TABLE *tab)
{
    run_lock(run);
    TABLE_META *m = tab->meta;
    tab->meta = NULL;
    run_unlock(run);
    free_meta(m);
}

void free_table_metas(EXP_RUN *run)
{
    for (int i = 0; i < run->ntab; i++) {
        free_meta(run->tabs[i].meta);
        run->tabs[i].meta = NULL;
    }
}
