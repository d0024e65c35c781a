/*
 * dict_query.c - dictionary queries of several text columns on the run's
 * statement handle, fetched a row at a time into buffers of their own; a
 * view the server does not have counts as no rows of that kind.
 */
#define _POSIX_C_SOURCE 200809L  /* strdup */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

void dict_close(DICT_QUERY *q)
{
    free(q->mem);
    q->mem = NULL;
    /* the statement handle is shared: later statements keep the default */
    if (q->w && q->rows > 1) {
        ub4 one = 1;
        OCIAttrSet(q->w->env.smthp, OCI_HTYPE_STMT, &one, 0, OCI_ATTR_PREFETCH_ROWS, q->w->env.errhp);
    }
    q->rows = 0;
}

int dict_open(EXP_WORKER *w, DICT_QUERY *q, const char *sqltxt, int ncol, const ub4 *widths)
{
    size_t row_bytes = 0;
    sword rc;

    memset(q, 0, sizeof(*q));
    q->w = w;
    if (ncol < 1 || ncol > DICT_MAX_COLS) return -1;
    q->ncol = ncol;
    for (int c = 0; c < ncol; c++) row_bytes += widths[c] + sizeof(sb2) + 2 * sizeof(ub2);
    size_t rows = DICT_FETCH_BYTES / row_bytes;
    if (rows < 1) rows = 1;
    if (rows > DICT_FETCH_ROWS) rows = DICT_FETCH_ROWS;
    size_t total = rows * row_bytes + (size_t)ncol * 4 * 8;
    q->mem = (uint8_t *)malloc(total);
    if (!q->mem) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", total);
        return -1;
    }
    uint8_t *p = q->mem;
    for (int c = 0; c < ncol; c++) {
        q->width[c] = widths[c];
        q->vals[c] = (char *)p;
        p = align8(p + (size_t)widths[c] * rows);
        q->inds[c] = (sb2 *)p;
        p = align8(p + sizeof(sb2) * rows);
        q->lens[c] = (ub2 *)p;
        p = align8(p + sizeof(ub2) * rows);
        q->rcodes[c] = (ub2 *)p;
        p = align8(p + sizeof(ub2) * rows);
        q->val[c] = q->vals[c];
        q->val[c][0] = '\0';
    }

    rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt, (ub4)strlen(sqltxt),
                        OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        dict_close(q);
        return -1;
    }
    for (int c = 0; c < ncol; c++) {
        OCIDefine *defnp = NULL;
        rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(c + 1), q->vals[c],
                            (sb4)q->width[c], SQLT_STR, q->inds[c], q->lens[c], q->rcodes[c],
                            OCI_DEFAULT);
        if (check_error(&w->env, rc) == CHECK_SUCCESS && rows > 1)
            rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, q->width[c], sizeof(sb2), sizeof(ub2),
                                        sizeof(ub2));
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
            dict_close(q);
            return -1;
        }
    }
    q->rows = (ub4)rows;
    if (rows > 1) {
        /* the execute brings the first array with it; the server does not
         * prefetch rows of LOB or LONG columns, and fetches then bring them */
        ub4 pre = (ub4)rows;
        rc = OCIAttrSet(w->env.smthp, OCI_HTYPE_STMT, &pre, 0, OCI_ATTR_PREFETCH_ROWS, w->env.errhp);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIAttrSet()\n%s\n", get_ora_message(&w->env));
            dict_close(q);
            return -1;
        }
    }
    rc = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    int ret = check_error(&w->env, rc);
    if (ret == CHECK_FAILURE && (get_ora_code(&w->env) == 942 || get_ora_code(&w->env) == 904)) {
        dict_close(q);
        return 1;
    }
    if (ret != CHECK_SUCCESS && ret != CHECK_WITH_INFO) {
        if (!w->dict_quiet) fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        dict_close(q);
        return -1;
    }
    return 0;
}

/* Columns at least this wide hold texts, whose cut the callers handle;
 * narrower ones hold names and numbers. */
#define DICT_TEXT_WIDTH 4096

/* The next array of rows; 1 rows came, 0 the end, -1 failure (message
 * printed unless quiet). Rows of a fetch that failed are not used. */
static int fetch_array(DICT_QUERY *q)
{
    EXP_WORKER *w = q->w;
    if (q->ended) return 0;
    for (ub4 r = 0; r < q->rows; r++) {
        for (int c = 0; c < q->ncol; c++) {
            q->rcodes[c][r] = 0;
            q->inds[c][r] = 0;
            q->vals[c][(size_t)r * q->width[c]] = '\0';
        }
    }
    ub4 n = 0, nsz = sizeof(n);
    sword rc = OCIStmtFetch(w->env.smthp, w->env.errhp, q->rows, OCI_FETCH_NEXT, OCI_DEFAULT);
    int ret = check_error(&w->env, rc);
    if (ret != CHECK_SUCCESS && ret != CHECK_WITH_INFO && ret != CHECK_NO_DATA) {
        if (!w->dict_quiet) fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (ret == CHECK_NO_DATA) q->ended = 1;
    if (q->rows == 1) {
        n = ret == CHECK_NO_DATA ? 0 : 1;
    } else {
        rc = OCIAttrGet(w->env.smthp, OCI_HTYPE_STMT, &n, &nsz, OCI_ATTR_ROWS_FETCHED, w->env.errhp);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "Rows Fetched - OCIAttrGet()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (n > q->rows) n = q->rows;  /* never beyond the buffers */
    }
    q->got = n;
    q->cur = 0;
    return n > 0 ? 1 : 0;
}

int dict_next(DICT_QUERY *q)
{
    EXP_WORKER *w = q->w;
    for (;;) {
        /* A stop asked by a signal ends the gathering between rows. */
        if (worker_stopped(w)) return -1;
        if (q->cur >= q->got) {
            int ret = fetch_array(q);
            if (ret <= 0) {
                for (int c = 0; c < q->ncol; c++) {
                    q->val[c] = q->vals[c];
                    q->val[c][0] = '\0';
                }
                return ret;
            }
        }
        ub4 r = q->cur++;
        int cut = 0;
        for (int c = 0; c < q->ncol; c++) {
            q->val[c] = q->vals[c] + (size_t)r * q->width[c];
            q->ind[c] = q->inds[c][r];
            q->len[c] = q->lens[c][r];
            q->rcode[c] = q->rcodes[c][r];
            if (q->ind[c] == -1) q->val[c][0] = '\0';
            q->val[c][q->width[c] - 1] = '\0';  /* never trust the terminator */
            if (q->rcode[c] == 1406 && q->width[c] < DICT_TEXT_WIDTH) cut = 1;
        }
        if (!cut) return 1;
        /* a name longer than the dump's name fields: never written cut */
        if (warn_object(w, "object", q->val[0], "a name in its definition is longer than 128 bytes") != 0)
            return -1;
    }
}

/* Takes `CONSTRAINT "name" ` out of a system-named constraint's text, so
 * that the target names its own and never meets a name in use. */
static void drop_system_name(char *text, size_t *len, const char *name)
{
    char esc[ESC_NAME_SIZE], pat[ESC_NAME_SIZE + 16];
    if (sql_escape(esc, sizeof(esc), name, '"') < 0) return;
    snprintf(pat, sizeof(pat), "CONSTRAINT \"%s\" ", esc);
    long at = find_words(text, *len, "CONSTRAINT", NULL);
    if (at < 0 || strncmp(text + at, pat, strlen(pat)) != 0) return;
    size_t cut = strlen(pat);
    memmove(text + at, text + at + cut, *len - (size_t)at - cut + 1);
    *len -= cut;
}

char *dict_text(const DICT_QUERY *q, int col, int bare, const char *kind, const char *name,
                int system_named, size_t *len, int *rc)
{
    *rc = 0;
    if (q->rcode[col] == 1406) {
        char why[64];
        snprintf(why, sizeof(why), "its statement is longer than %u bytes", q->width[col] - 1);
        *rc = warn_object(q->w, kind, name, why);
        return NULL;
    }
    char *text = strip_owner(q->w->run->owner_name, q->val[col], strlen(q->val[col]), bare, len);
    if (!text) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", strlen(q->val[col]));
        *rc = -1;
        return NULL;
    }
    if (system_named) drop_system_name(text, len, name);
    return text;
}

/* The rows of list_sql (ncol text columns) in memory, each column of each
 * row a string of its own. Returns the row count, or -1. */
static int read_list(EXP_WORKER *w, const char *list_sql, int ncol, const ub4 *widths, char ***cells)
{
    DICT_QUERY q;
    int n = 0, cap = 0;
    *cells = NULL;
    if (dict_open(w, &q, list_sql, ncol, widths) != 0) return -1;
    int ret;
    while ((ret = dict_next(&q)) == 1) {
        if (n == cap) {
            cap = cap ? cap * 2 : 64;
            char **p = (char **)realloc(*cells, sizeof(char *) * (size_t)cap * (size_t)ncol);
            if (!p) {
                ret = -1;
                break;
            }
            *cells = p;
        }
        for (int c = 0; c < ncol; c++) (*cells)[n * ncol + c] = strdup(q.val[c]);
        n++;
    }
    dict_close(&q);
    if (ret < 0) {
        if (!worker_stopped(w)) fprintf(stderr, "Allocate memory for the dictionary rows error.\n");
        for (int i = 0; i < n * ncol; i++) free((*cells)[i]);
        free(*cells);
        *cells = NULL;
        return -1;
    }
    return n;
}

/* One object's DBMS_METADATA text alone into q (one column). Returns 1
 * with the text, 0 when the server refuses it (message in w->env.oem), -1. */
/* GET_DDL(type, name) of the run's owner read alone, in a buffer of
 * `width`, on the worker's statement handle: 1 with the text in q->val[0]
 * (dict_close it), 0 when the server refused it (its message kept), -1
 * when the session failed. */
static int dict_one_ddl(EXP_WORKER *w, DICT_QUERY *q, const char *type, const char *name, ub4 width)
{
    char sqltxt[512], en[ESC_NAME_SIZE], eo[ESC_NAME_SIZE];
    const ub4 widths[1] = {width};
    sql_escape(en, sizeof(en), name, '\'');
    sql_escape(eo, sizeof(eo), w->run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt), "select DBMS_METADATA.GET_DDL('%s', '%s', '%s') from dual",
             type, en, eo);
    w->dict_quiet = 1;
    int ret = dict_open(w, q, sqltxt, 1, widths);
    if (ret == 0) ret = dict_next(q);
    w->dict_quiet = 0;
    if (ret == 1) return 1;
    dict_close(q);
    return get_ora_code(&w->env) > 0 && !session_lost(&w->env) ? 0 : -1;
}

/* Width of an object's text in a bulk query when the caller's is larger:
 * a fetch then brings up to DICT_FETCH_ROWS texts, where buffers of the
 * caller's width (64 KiB, 16 MiB) fit a handful, or one. A text the bulk
 * width cuts is read again alone at the caller's width. */
#define DICT_BULK_TEXT_WIDTH 8192u

/* Hands fn the row `names` (the bulk query's columns but the last) with
 * the object's text read alone (`one`), as the bulk query gives a row;
 * an object whose text the server refuses is named in a warning. 0 or
 * -1. */
static int row_with_text(EXP_WORKER *w, char *const *names, int ncol, int got, DICT_QUERY *one,
                         const char *kind, const char *name, int (*fn)(DICT_QUERY *q, void *ctx), void *ctx)
{
    if (got < 0) {
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (got == 0) {
        char why[200];
        char *nl = strchr(get_ora_message(&w->env), '\n');
        if (nl) *nl = '\0';
        snprintf(why, sizeof(why), "its definition could not be read (%s)", get_ora_message(&w->env));
        return warn_object(w, kind, name, why);
    }
    DICT_QUERY r = *one;
    r.ncol = ncol;
    for (int c = 0; c < ncol - 1; c++) {
        r.val[c] = names[c];
        r.ind[c] = 0;
        r.rcode[c] = 0;
    }
    r.val[ncol - 1] = one->val[0];
    r.ind[ncol - 1] = one->ind[0];
    r.rcode[ncol - 1] = one->rcode[0];
    r.width[ncol - 1] = one->width[0];
    int rc = fn(&r, ctx);
    dict_close(one);
    return rc;
}

/* The current row of the bulk query q, whose text its width cut: the text
 * read again alone at `width` on a statement handle of its own (the bulk
 * query's stays open), then handed to fn. 0 or -1. */
static int row_again(EXP_WORKER *w, DICT_QUERY *q, const char *type, int name_col, const char *kind,
                     ub4 width, int (*fn)(DICT_QUERY *q, void *ctx), void *ctx)
{
    OCIStmt *bulk = w->env.smthp, *alone = NULL;
    if (OCIHandleAlloc(w->env.envhp, (void **)&alone, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS) {
        fprintf(stderr, "OCIHandleAlloc() error.\n");
        return -1;
    }
    char *names[DICT_MAX_COLS];
    for (int c = 0; c < q->ncol - 1; c++) names[c] = q->val[c];
    w->env.smthp = alone;
    DICT_QUERY one;
    int got = dict_one_ddl(w, &one, type, q->val[name_col], width);
    int rc = row_with_text(w, names, q->ncol, got, &one, kind, q->val[name_col], fn, ctx);
    w->env.smthp = bulk;
    OCIHandleFree(alone, OCI_HTYPE_STMT);
    return rc;
}

int dict_each_ddl(EXP_WORKER *w, const char *bulk_sql, const char *list_sql, int ncol, const ub4 *widths,
                  const char *type, int name_col, const char *kind,
                  int (*fn)(DICT_QUERY *q, void *ctx), void *ctx)
{
    DICT_QUERY q;
    int done = 0, ret;
    ub4 bulk_widths[DICT_MAX_COLS];
    if (ncol < 1 || ncol > DICT_MAX_COLS) return -1;
    memcpy(bulk_widths, widths, sizeof(ub4) * (size_t)ncol);
    ub4 full = widths[ncol - 1];
    if (full > DICT_BULK_TEXT_WIDTH) bulk_widths[ncol - 1] = DICT_BULK_TEXT_WIDTH;
    w->dict_quiet = 1;
    ret = dict_open(w, &q, bulk_sql, ncol, bulk_widths);
    w->dict_quiet = 0;
    if (ret == 1) return 0;
    if (ret == 0) {
        for (;;) {
            w->dict_quiet = 1;
            ret = dict_next(&q);
            w->dict_quiet = 0;
            if (ret != 1) break;
            int cut = q.rcode[ncol - 1] == 1406 && q.ind[ncol - 1] != -1 && q.width[ncol - 1] < full;
            if ((cut ? row_again(w, &q, type, name_col, kind, full, fn, ctx) : fn(&q, ctx)) != 0) {
                dict_close(&q);
                return -1;
            }
            done++;
        }
        dict_close(&q);
        if (ret == 0) return 0;
    }
    if (worker_stopped(w)) return -1;
    /* a failure of the program's own, or a session gone: no object's text
     * can be read alone either */
    if (get_ora_code(&w->env) <= 0 || session_lost(&w->env)) {
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        return -1;
    }

    /* The server failed one object's text: the rest are read one by one
     * after the names, and each object whose text it refuses is named. */
    char **cells;
    int n = read_list(w, list_sql, ncol - 1, widths, &cells);
    if (n < 0) return -1;
    int rc = 0;
    for (int i = done; i < n && rc == 0 && !worker_stopped(w); i++) {
        char **row = cells + (size_t)i * (size_t)(ncol - 1);
        DICT_QUERY one;
        int got = dict_one_ddl(w, &one, type, row[name_col], DICT_CODE_WIDTH);
        rc = row_with_text(w, row, ncol, got, &one, kind, row[name_col], fn, ctx);
    }
    for (int i = 0; i < n * (ncol - 1); i++) free(cells[i]);
    free(cells);
    return worker_stopped(w) ? -1 : rc;
}
