/*
 * multiple_export.c - writes the rows of a table from array fetches of
 * max_row rows, each row encoded straight from the define arrays into the
 * write cache. A row of a table with LOB or LONG columns is followed by
 * its streams: the LONG value's (its piece from the array, or the value
 * read again when longer), then one per non-NULL LOB value, read through
 * the row's locator.
 */
#include <stdio.h>
#include <string.h>

#include "args.h"
#include "exp_local.h"
#include "show_text.h"

int check_cut_values(EXP_WORKER *w, EXP_TABLE *tab, ub4 row)
{
    for (uint32_t c = 0; c < tab->info.ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        /* LOB values are never cut; a LONG longer than its piece is read again */
        if (dc->vsz == 0 || (dc->flag & DEFINE_LONG_ARRAY)) continue;
        sb2 ind = dc->indp[row];
        if (dc->rcodep[row] == 1406 && ind != 0 && ind != -1) {
            fprintf(stderr, "Value of column \"%s\" in table \"%s\" was cut to fit its buffer.\n",
                    w->select_names ? w->select_names[c] : "?", exp_table_name(tab));
            return -1;
        }
    }
    return 0;
}

static int too_long(EXP_WORKER *w, const EXP_TABLE *tab, uint32_t c)
{
    fprintf(stderr, "Value of column \"%s\" in table \"%s\" is longer than its buffer.\n",
            w->select_names ? w->select_names[c] : "?", exp_table_name(tab));
    return -1;
}

/* Appends row i. With `wide` (a row that might not fit in the whole cache)
 * room is made value by value; otherwise the caller made room for the
 * widest row. */
static int put_row(EXP_WORKER *w, EXP_TABLE *tab, ub4 i, int wide)
{
    uint32_t ncol = tab->info.ncol;
    for (uint32_t c = 0; c < ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        if (dc->indp[i] == -1) {
            if (wide && cache_room(w, 2) != 0) return -1;
            cache_put16(w, MARK_NULL);
            continue;
        }
        ub2 len = dc->alenp[i];
        if (len > dc->vsz) return too_long(w, tab, c);
        if (wide && cache_room(w, 2 + len) != 0) return -1;
        cache_put16(w, len);
        memcpy(w->cache + w->ctail, dc->valp + (size_t)i * dc->vsz, len);
        w->ctail += len;
    }
    if (wide && cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_END);
    return 0;
}

/* put_row for a table with LOB or LONG columns: their values get their
 * marks, or NULL. */
static int put_lob_row(EXP_WORKER *w, EXP_TABLE *tab, ub4 i, int wide)
{
    uint32_t ncol = tab->info.ncol;
    for (uint32_t c = 0; c < ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        if (dc->indp[i] == -1 || (dc->flag & (DEFINE_LOB_ARRAY | DEFINE_LONG_ARRAY))) {
            if (wide && cache_room(w, 2) != 0) return -1;
            cache_put16(w, dc->indp[i] == -1                ? MARK_NULL
                           : (dc->flag & DEFINE_LOB_ARRAY) ? MARK_LOB
                                                            : MARK_LONG);
            continue;
        }
        ub2 len = dc->alenp[i];
        if (len > dc->vsz) return too_long(w, tab, c);
        if (wide && cache_room(w, 2 + len) != 0) return -1;
        cache_put16(w, len);
        memcpy(w->cache + w->ctail, dc->valp + (size_t)i * dc->vsz, len);
        w->ctail += len;
    }
    if (wide && cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_END);
    return 0;
}

/* The stream of the LONG value of row i, as a row fetched alone writes
 * it: a NULL's empty stream, the whole value in one piece when its piece
 * held it, else the value read again in pieces. */
static int put_long_stream(EXP_WORKER *w, const DEFINE_COLUMN *dc, ub4 i)
{
    if (dc->indp[i] != -1 && dc->rcodep[i] == 1406) return fetch_long_again(w, i);
    ub2 len = dc->indp[i] == -1 ? 0 : dc->alenp[i];
    if (len > dc->vsz) {
        fprintf(stderr, "LONG piece of %u bytes larger than its buffer.\n", (unsigned)len);
        return -1;
    }
    if (cache_room(w, 6 + len) != 0) return -1;
    cache_put16(w, MARK_STREAM);
    if (len > 0) {
        cache_put16(w, len);
        memcpy(w->cache + w->ctail, dc->valp + (size_t)i * dc->vsz, len);
        w->ctail += len;
    }
    cache_put16(w, MARK_END);
    return 0;
}

/* The streams that follow row i, in the file's order. */
static int put_streams(EXP_WORKER *w, const EXP_TABLE *tab, ub4 i)
{
    uint32_t ncol = tab->info.ncol;
    const DEFINE_COLUMN *last = &w->dc[ncol - 1];
    if ((last->flag & DEFINE_LONG_ARRAY) && put_long_stream(w, last, i) != 0) return -1;
    for (uint32_t c = 0; c < ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        if ((dc->flag & DEFINE_LOB_ARRAY) && dc->indp[i] != -1 && fetch_lob(w, (int)c, i) != 0) return -1;
    }
    return 0;
}

/* After a batch in which most LONG values were longer than their piece:
 * such values cost a second read each, their first piece read twice, so
 * the rest of the table is fetched a row at a time with the LONG column
 * defined anew for piecewise fetch (one fetch per row, as many as the
 * second reads would cost, and no piece twice). 0 or -1. */
#define LONG_FIRST_BATCH 16
static int read_rest_alone(EXP_WORKER *w, EXP_TABLE *tab)
{
    uint32_t ncol = tab->info.ncol;
    DEFINE_COLUMN *dc = &w->dc[ncol - 1];
    OCIDefine *defnp = NULL;
    sword rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, ncol, NULL, 0x7FFFFFFF,
                              (ub2)convert_to_sqlt((int)dc->ctype), dc->indp, dc->alenp, dc->rcodep,
                              OCI_DYNAMIC_FETCH);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    dc->flag = DEFINE_LONG_PIECEWISE;
    dc->vsz = 0;
    return export_rows_alone(w, tab);
}

int export_multiple_row(EXP_WORKER *w, EXP_TABLE *tab)
{
    const DEFINE_COLUMN *long_dc = &w->dc[tab->info.ncol - 1];
    int long_array = (long_dc->flag & DEFINE_LONG_ARRAY) != 0;
    int plain = tab->info.flag == 0;
    int64_t row_len = 4;
    int ret;

    for (uint32_t c = 0; c < tab->info.ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        row_len += (dc->flag & DEFINE_LONG_ARRAY) ? 2 : (int64_t)dc->vsz + 2;
    }
    int wide = row_len > w->csz;

    /* A plain table's first array comes with the execute's reply (the
     * prefetch of as many rows as the fetch asks for), so that a table
     * that fits in one array costs one round trip; the server prefetches
     * no rows of LOB or LONG columns. The statement handle is shared:
     * later statements keep the default. */
    ub4 pre = (ub4)w->max_row;
    if (plain) OCIAttrSet(w->env.smthp, OCI_HTYPE_STMT, &pre, 0, OCI_ATTR_PREFETCH_ROWS, w->env.errhp);
    int executed = execute_statement(w, 0);
    if (plain) {
        pre = 1;
        OCIAttrSet(w->env.smthp, OCI_HTYPE_STMT, &pre, 0, OCI_ATTR_PREFETCH_ROWS, w->env.errhp);
    }
    if (executed != 0) return -1;

    /* A LONG table's first batch is small: it tells soon whether its
     * values fit their pieces (read_rest_alone). */
    ub4 batch = long_array && w->max_row > LONG_FIRST_BATCH ? LONG_FIRST_BATCH : (ub4)w->max_row;
    do {
        ub4 rrows = 0;
        ret = fetch_rows(w, batch, &rrows);
        batch = (ub4)w->max_row;
        if (ret < 0) return -1;
        /* A batch that cut a value says so with 1, or with 100 when it
         * also reached the end of the rows. */
        int maybe_cut = (ret == CHECK_WITH_INFO || ret == CHECK_NO_DATA);
        long long before = w->nrow;
        ub4 read_again = 0;
        for (ub4 i = 0; i < rrows; i++) {
            if (long_array && long_dc->indp[i] != -1 && long_dc->rcodep[i] == 1406) read_again++;
            if (maybe_cut && check_cut_values(w, tab, i) != 0) return -1;
            if (!wide && w->ctail + row_len > w->csz && write_cache(w) != 0) return -1;
            if ((plain ? put_row(w, tab, i, wide) : put_lob_row(w, tab, i, wide)) != 0) return -1;
            /* a stop asked by a signal ends the table inside a value's
             * pieces or between rows; the caller names the signal */
            if (!plain && (put_streams(w, tab, i) != 0 || worker_stopped(w))) return -1;
            if (!plain && w->ctail >= EXP_STREAM_FLUSH && write_cache(w) != 0) return -1;
            w->nrow++;
        }
        if (!w->run->lock) feedback_rows(&w->run->opts.feedback, w->run->ofp, before, w->nrow);
        EXP_ASSERT_CACHE(w);
        /* A stop asked by a signal ends the table between batches; the
         * caller names the signal and the table. */
        if (worker_stopped(w)) return -1;
        if (ret != CHECK_NO_DATA && 2 * read_again > rrows) {
            if (read_rest_alone(w, tab) != 0) return -1;
            break;
        }
    } while (ret != CHECK_NO_DATA);

    /* the end mark, row count and progress line (the line of a table with
     * LOB or LONG columns keeps its own spacing); after the rows of one
     * ROWID range, only at the table's last (export_table.c) */
    return end_table_rows(w, tab, plain ? ". . exporting table  %30s %10d rows exported\n"
                                        : ". . exporting table %30s %10d rows exported\n");
}
