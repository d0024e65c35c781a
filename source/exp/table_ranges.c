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

/* The extents gathered for the table being read; handed to the table when
 * its segment is large enough. */
typedef struct {
    EXP_TABLE *tab;
    EXP_EXTENT *ext;
    int n, cap;
    uint64_t bytes;
} GATHER;

static int gather_flush(GATHER *g, uint64_t threshold)
{
    if (g->tab && g->n > 1 && g->bytes >= threshold && !g->tab->split) {
        EXP_SPLIT *s = (EXP_SPLIT *)calloc(1, sizeof(EXP_SPLIT));
        if (!s) {
            fprintf(stderr, "Allocate memory for the ranges of table \"%s\" error.\n", exp_table_name(g->tab));
            return -1;
        }
        s->n = g->n;
        s->ext = g->ext;
        g->tab->split = s;
        g->ext = NULL;
        g->cap = 0;
    }
    g->tab = NULL;
    g->n = 0;
    g->bytes = 0;
    return 0;
}

static int gather_add(GATHER *g, const char *lo, const char *hi, const char *file, const char *block,
                      const char *blocks, const char *bytes)
{
    if (g->n == g->cap) {
        int cap = g->cap ? g->cap * 2 : 64;
        EXP_EXTENT *p = (EXP_EXTENT *)realloc(g->ext, sizeof(EXP_EXTENT) * (size_t)cap);
        if (!p) {
            fprintf(stderr, "Allocate memory for the extents of table \"%s\" error.\n", exp_table_name(g->tab));
            return -1;
        }
        g->ext = p;
        g->cap = cap;
    }
    EXP_EXTENT *e = &g->ext[g->n++];
    e->file = strtoull(file, NULL, 10);
    e->block = strtoull(block, NULL, 10);
    e->blocks = strtoull(blocks, NULL, 10);
    snprintf(e->lo, sizeof(e->lo), "%s", lo);
    snprintf(e->hi, sizeof(e->hi), "%s", hi);
    g->bytes += strtoull(bytes, NULL, 10);
    return 0;
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

int read_table_ranges(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    if (run->inconsistent || run->ntab == 0) return 0;
    static const ub4 widths[7] = {EXTENT_NAME, EXTENT_NUM, EXTENT_NUM, EXTENT_NUM, EXTENT_NUM, ROWID_TEXT, ROWID_TEXT};
    char esc_owner[ESC_NAME_SIZE], sqltxt[ESC_NAME_SIZE + 800];
    sql_escape(esc_owner, sizeof(esc_owner), run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select e.SEGMENT_NAME, e.RELATIVE_FNO, e.BLOCK_ID, e.BLOCKS, e.BYTES,\n"
             "  DBMS_ROWID.ROWID_CREATE(1, o.DATA_OBJECT_ID, e.RELATIVE_FNO, e.BLOCK_ID, 0),\n"
             "  DBMS_ROWID.ROWID_CREATE(1, o.DATA_OBJECT_ID, e.RELATIVE_FNO, e.BLOCK_ID + e.BLOCKS - 1, 32767)\n"
             "from DBA_EXTENTS e, DBA_OBJECTS o\n"
             "where e.OWNER='%s' and e.SEGMENT_TYPE='TABLE'\n"
             "and o.OWNER=e.OWNER and o.OBJECT_NAME=e.SEGMENT_NAME and o.OBJECT_TYPE='TABLE'\n"
             "order by e.SEGMENT_NAME, e.EXTENT_ID",
             esc_owner);
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt, (ub4)strlen(sqltxt),
                              OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    /* the fetch arrays in the row area, which no table uses yet */
    FETCH_COL cols[7];
    uint8_t *p = w->rbuf;
    for (int c = 0; c < 7; c++) {
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
    int ret = check_error(&w->env, rc);
    if (ret == CHECK_FAILURE) {
        /* A session that may not read DBA_EXTENTS (no DBA role) reads every
         * table whole. */
        int code = get_ora_code(&w->env);
        if (code == 942 || code == 904 || code == 1031) return 0;
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return -1;
    }

    uint64_t threshold = tuning("TABEXP_RANGE_THRESHOLD", RANGE_THRESHOLD_DEFAULT);
    GATHER g = {NULL, NULL, 0, 0, 0};
    char current[EXTENT_NAME] = "";
    int failed = 0;
    for (;;) {
        ub4 got = 0;
        ret = fetch_rows(w, EXTENT_ROWS, &got);
        if (ret < 0) {
            failed = 1;
            break;
        }
        for (ub4 i = 0; i < got && !failed; i++) {
            const char *name = col_text(&cols[0], i);
            if (strcmp(name, current) != 0) {
                if (gather_flush(&g, threshold) != 0) failed = 1;
                snprintf(current, sizeof(current), "%s", name);
                g.tab = find_table(run, name);
            }
            if (!failed && g.tab &&
                gather_add(&g, col_text(&cols[5], i), col_text(&cols[6], i), col_text(&cols[1], i),
                           col_text(&cols[2], i), col_text(&cols[3], i), col_text(&cols[4], i)) != 0)
                failed = 1;
        }
        if (failed || ret == CHECK_NO_DATA) break;
    }
    if (!failed && gather_flush(&g, threshold) != 0) failed = 1;
    free(g.ext);
    return failed ? -1 : 0;
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
