/*
 * table_ranges.c - the ROWID ranges of large tables: their extents read
 * from DBA_EXTENTS in one query for the schema, with the ROWIDs of each
 * extent's first and last possible row built by the server
 * (DBMS_ROWID.ROWID_CREATE), ranges of extents that follow each other on
 * disk handed out in extent order, and the SELECT's predicate.
 *
 * A full scan of an ordinary table reads its extents in extent order and
 * each extent's blocks and rows in ROWID order, so the ranges read one
 * after the other give the rows in the order a whole read gives them, and
 * every row of the snapshot is in exactly one range. Tables without a
 * segment of type TABLE (partitioned, index-organized, clustered) have no
 * extents here and are read whole.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"
#include "table_ranges.h"

#define EXTENT_NAME 132
#define EXTENT_NUM 24
#define EXTENT_ROWS 256u   /* rows per array fetch */

/* The threshold and the range size: the defaults, or a positive number of
 * bytes from the environment. */
static uint64_t tuning(const char *name, uint64_t dflt)
{
    const char *v = getenv(name);
    if (!v || !*v) return dflt;
    char *end = NULL;
    unsigned long long n = strtoull(v, &end, 10);
    return (end && *end == '\0' && n > 0) ? (uint64_t)n : dflt;
}

uint64_t range_target(const EXP_RUN *run)
{
    return tuning("TABEXP_RANGE_SIZE", run->parallel > 1 ? RANGE_SIZE_PARALLEL : RANGE_SIZE_SERIAL);
}

void free_table_ranges(EXP_RUN *run)
{
    for (int i = 0; i < run->ntab; i++) {
        EXP_SPLIT *s = run->tabs[i].split;
        if (!s) continue;
        free(s->ext);
        free(s->head.cols);
        free(s->head.table_text);
        free(s);
        run->tabs[i].split = NULL;
    }
}

/* Column c of row i of the fetch arrays, as text ("" for NULL). */
typedef struct {
    ub4 width;
    char *val;
    sb2 *ind;
    ub2 *len;
} FETCH_COL;

static const char *col_text(const FETCH_COL *c, ub4 i)
{
    char *v = c->val + (size_t)i * c->width;
    if (c->ind[i] == -1) return "";
    v[c->width - 1] = '\0';
    return v;
}

#define QUERY_COLS 6

/* Runs sqltxt (ncol text columns of the given widths), array-fetched into
 * the row area, and hands every row to fn. Returns 0; 1 when the session
 * may not read the views (no DBA role: every table is then read whole);
 * -1 on a failure (message printed) or when fn fails. */
static int each_row(EXP_WORKER *w, const char *sqltxt, int ncol, const ub4 *widths,
                    int (*fn)(void *ctx, const char *const *v), void *ctx)
{
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt, (ub4)strlen(sqltxt),
                              OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    FETCH_COL cols[QUERY_COLS];
    uint8_t *p = w->rbuf;
    assert(ncol <= QUERY_COLS);
    for (int c = 0; c < ncol; c++) {
        cols[c].width = widths[c];
        cols[c].val = (char *)p;
        p += (size_t)widths[c] * EXTENT_ROWS;
        cols[c].ind = (sb2 *)p;
        p += sizeof(sb2) * EXTENT_ROWS;
        cols[c].len = (ub2 *)p;
        p += sizeof(ub2) * EXTENT_ROWS;
        OCIDefine *defnp = NULL;
        rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(c + 1), cols[c].val, (sb4)widths[c], SQLT_STR,
                            cols[c].ind, cols[c].len, NULL, OCI_DEFAULT);
        if (check_error(&w->env, rc) == CHECK_SUCCESS)
            rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, widths[c], sizeof(sb2), sizeof(ub2), 0);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    }
    assert(p <= w->rbuf + w->rsz);
    rc = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) == CHECK_FAILURE) {
        int code = get_ora_code(&w->env);
        if (code == 942 || code == 904 || code == 1031) return 1;
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    for (;;) {
        ub4 got = 0;
        int ret = fetch_rows(w, EXTENT_ROWS, &got);
        if (ret < 0) return -1;
        for (ub4 i = 0; i < got; i++) {
            const char *v[QUERY_COLS];
            for (int c = 0; c < ncol; c++) v[c] = col_text(&cols[c], i);
            if (fn(ctx, v) != 0) return -1;
        }
        if (ret == CHECK_NO_DATA) return 0;
    }
}

/* The tables whose segment is large enough, from the sizes query. */
typedef struct {
    EXP_RUN *run;
    uint64_t threshold;
    EXP_TABLE **large;
    int n, cap;
} LARGE;

static int note_large(void *ctx, const char *const *v)
{
    LARGE *l = (LARGE *)ctx;
    EXP_TABLE *tab = find_table(l->run, v[0]);
    if (!tab || strtoull(v[1], NULL, 10) < 2 || strtoull(v[2], NULL, 10) < l->threshold) return 0;
    if (l->n == l->cap) {
        int cap = l->cap ? 2 * l->cap : 16;
        EXP_TABLE **p = (EXP_TABLE **)realloc(l->large, sizeof(EXP_TABLE *) * (size_t)cap);
        if (!p) {
            fprintf(stderr, "Allocate memory for the ranges of the tables error.\n");
            return -1;
        }
        l->large = p;
        l->cap = cap;
    }
    l->large[l->n++] = tab;
    return 0;
}

static int add_extent(void *ctx, const char *const *v)
{
    EXP_SPLIT *s = (EXP_SPLIT *)ctx;
    if (s->n % 64 == 0) {
        EXP_EXTENT *p = (EXP_EXTENT *)realloc(s->ext, sizeof(EXP_EXTENT) * (size_t)(s->n + 64));
        if (!p) {
            fprintf(stderr, "Allocate memory for the extents of a table error.\n");
            return -1;
        }
        s->ext = p;
    }
    EXP_EXTENT *e = &s->ext[s->n++];
    e->file = strtoull(v[0], NULL, 10);
    e->block = strtoull(v[1], NULL, 10);
    e->blocks = strtoull(v[2], NULL, 10);
    snprintf(e->lo, sizeof(e->lo), "%s", v[3]);
    snprintf(e->hi, sizeof(e->hi), "%s", v[4]);
    return 0;
}

/* The extents of one large table with the ROWIDs of their first and last
 * possible rows, in extent order. 0, 1 (read it whole) or -1. */
static int read_extents(EXP_WORKER *w, EXP_TABLE *tab, const char *esc_owner)
{
    static const ub4 widths[5] = {EXTENT_NUM, EXTENT_NUM, EXTENT_NUM, ROWID_TEXT, ROWID_TEXT};
    char esc_table[ESC_NAME_SIZE], sqltxt[2 * ESC_NAME_SIZE + 800];
    sql_escape(esc_table, sizeof(esc_table), exp_table_name(tab), '\'');
    /* the data object number once, for every extent */
    snprintf(sqltxt, sizeof(sqltxt),
             "select RELATIVE_FNO, BLOCK_ID, BLOCKS,\n"
             "  DBMS_ROWID.ROWID_CREATE(1, OBJ, RELATIVE_FNO, BLOCK_ID, 0),\n"
             "  DBMS_ROWID.ROWID_CREATE(1, OBJ, RELATIVE_FNO, BLOCK_ID + BLOCKS - 1, 32767)\n"
             "from DBA_EXTENTS, (select DATA_OBJECT_ID OBJ from DBA_OBJECTS\n"
             "  where OWNER='%s' and OBJECT_NAME='%s' and OBJECT_TYPE='TABLE')\n"
             "where OWNER='%s' and SEGMENT_NAME='%s' and SEGMENT_TYPE='TABLE'\n"
             "order by EXTENT_ID",
             esc_owner, esc_table, esc_owner, esc_table);
    EXP_SPLIT *s = (EXP_SPLIT *)calloc(1, sizeof(EXP_SPLIT));
    if (!s) {
        fprintf(stderr, "Allocate memory for the ranges of table \"%s\" error.\n", exp_table_name(tab));
        return -1;
    }
    int ret = each_row(w, sqltxt, 5, widths, add_extent, s);
    /* one extent, or none any more: the table is read whole */
    if (ret != 0 || s->n < 2) {
        free(s->ext);
        free(s);
        return ret;
    }
    tab->split = s;
    return 0;
}

int read_table_ranges(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    if (run->inconsistent || run->ntab == 0) return 0;
    static const ub4 widths[3] = {EXTENT_NAME, EXTENT_NUM, EXTENT_NUM};
    char esc_owner[ESC_NAME_SIZE], sqltxt[ESC_NAME_SIZE + 400];
    sql_escape(esc_owner, sizeof(esc_owner), run->owner_name, '\'');
    /* the sizes of the segments first, then the extents of the large ones */
    snprintf(sqltxt, sizeof(sqltxt),
             "select SEGMENT_NAME, count(*), sum(BYTES) from DBA_EXTENTS\n"
             "where OWNER='%s' and SEGMENT_TYPE='TABLE' group by SEGMENT_NAME",
             esc_owner);
    LARGE l = {run, tuning("TABEXP_RANGE_THRESHOLD", RANGE_THRESHOLD_DEFAULT), NULL, 0, 0};
    int ret = each_row(w, sqltxt, 3, widths, note_large, &l);
    for (int i = 0; ret == 0 && i < l.n; i++) ret = read_extents(w, l.large[i], esc_owner);
    free(l.large);
    return ret < 0 ? -1 : 0;
}

/* Whether extent i + 1 starts on the block after extent i. */
static int follows(const EXP_SPLIT *s, int i)
{
    const EXP_EXTENT *a = &s->ext[i], *b = &s->ext[i + 1];
    return a->file == b->file && a->block + a->blocks == b->block;
}

int next_range(EXP_SPLIT *s, uint64_t target, EXP_RANGE *out)
{
    if (s->next >= s->n) return 0;
    int e = s->next;
    uint64_t blocks = s->ext[e].blocks;
    /* blocks that make `target` bytes at the bytes per block read so far */
    uint64_t want = s->blocks_read ? target / (s->bytes_read / s->blocks_read + 1) : 0;
    e++;
    while (e < s->n && follows(s, e - 1) && blocks + s->ext[e].blocks <= want) blocks += s->ext[e++].blocks;
    out->e0 = s->next;
    out->e1 = e;
    out->lo = s->ext[out->e0].lo;
    out->hi = s->ext[e - 1].hi;
    out->first = out->e0 == 0;
    out->last = e == s->n;
    s->next = e;
    s->pieces++;
    return 1;
}

void range_read(EXP_SPLIT *s, const EXP_RANGE *r, uint64_t bytes)
{
    for (int e = r->e0; e < r->e1; e++) s->blocks_read += s->ext[e].blocks;
    s->bytes_read += bytes;
}

size_t range_condition(const EXP_WORKER *w, char *dst, size_t cap)
{
    static const char pred[] = "where ROWID between :1 and :2\n";
    if (!w->range) return 0;
    assert(cap > sizeof(pred));  /* the SELECT's room holds it beside the longest names */
    (void)cap;
    memcpy(dst, pred, sizeof(pred));
    return sizeof(pred) - 1;
}

int bind_range(EXP_WORKER *w)
{
    const char *v[2] = {w->range->lo, w->range->hi};
    for (int i = 0; i < 2; i++) {
        OCIBind *bnd = NULL;
        sword rc = OCIBindByPos(w->env.smthp, &bnd, w->env.errhp, (ub4)(i + 1), (void *)v[i],
                                (sb4)strlen(v[i]) + 1, SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIBindByPos()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    }
    return 0;
}

void write_run_stats(const EXP_RUN *run, uint64_t direct, uint64_t queued, uint64_t spilled)
{
    const char *path = getenv("TABEXP_PARALLEL_STATS");
    if (!path || !*path) return;
    int parts = 0;
    for (int i = 0; i < run->ntab; i++) parts += run->tabs[i].split ? run->tabs[i].split->pieces : 1;
    FILE *f = fopen(path, "w");
    if (!f) return;
    fprintf(f, "parts %d\ndirect %llu\nqueued %llu\nspilled %llu\n", parts, (unsigned long long)direct,
            (unsigned long long)queued, (unsigned long long)spilled);
    fclose(f);
}
