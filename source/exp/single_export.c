/*
 * single_export.c - writes the rows of a table with LONG or LOB columns,
 * one row per fetch: the row record with placeholder slots, then the
 * row's LONG stream, fetched in pieces, and one stream per non-NULL LOB
 * value. A table read in arrays whose LONG values prove longer than their
 * array piece goes on this way for its remaining rows.
 */
#include <stdio.h>
#include <string.h>

#include "args.h"
#include "exp_local.h"
#include "show_text.h"

/* Appends row 0 of the define arrays. With `wide` room is made value by
 * value. The LONG slot is written with room behind it for the row end, the
 * stream's start word and a first piece, so it stays in the cache until
 * the first piece has told whether the value is NULL. */
static int put_row(EXP_WORKER *w, EXP_TABLE *tab, int wide)
{
    uint32_t ncol = tab->info.ncol;
    w->long_slot = -1;
    for (uint32_t c = 0; c < ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        int is_long = IS_LONG_CTYPE(dc->ctype);
        if (wide && cache_room(w, is_long ? 6 + EXP_PIECE_ROOM : 2) != 0) return -1;
        if (dc->indp[0] == -1) {
            cache_put16(w, MARK_NULL);
        } else if (is_long) {
            w->long_slot = w->ctail;
            cache_put16(w, MARK_LONG);
        } else if (IS_LOB_CTYPE(dc->ctype)) {
            cache_put16(w, MARK_LOB);
        } else {
            ub2 len = dc->alenp[0];
            if (len > dc->vsz) {
                fprintf(stderr, "Value of column \"%s\" in table \"%s\" is longer than its buffer.\n",
                        w->select_names ? w->select_names[c] : "?", exp_table_name(tab));
                return -1;
            }
            if (wide && cache_room(w, 2 + len) != 0) return -1;
            cache_put16(w, len);
            memcpy(w->cache + w->ctail, dc->valp, len);
            w->ctail += len;
        }
    }
    if (wide && cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_END);
    return 0;
}

int export_rows_alone(EXP_WORKER *w, EXP_TABLE *tab)
{
    DEFINE_COLUMN *long_dc = NULL;
    int64_t row_len = 2;
    int ret;
    sword rc;

    for (uint32_t c = 0; c < tab->info.ncol; c++) {
        row_len += (int64_t)w->dc[c].vsz + 2;
        if (w->dc[c].flag & DEFINE_LONG_PIECEWISE) long_dc = &w->dc[c];
    }
    /* Room before a row: the row, and for a LONG stream its start word and
     * first piece. */
    int64_t reserve = row_len + (long_dc ? 2 + EXP_PIECE_ROOM : 0);
    int wide = reserve > w->csz;

    for (;;) {
        /* A stop asked by a signal ends the table between rows; the
         * caller names the signal and the table. */
        if (worker_stopped(w)) return -1;
        /* A NULL LONG may be reported only with its first piece: start
         * every row from "not NULL" rather than from the last row's mark. */
        if (long_dc) long_dc->indp[0] = 0;
        rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&w->env, rc);
        if (ret == CHECK_NO_DATA) break;
        if (ret != CHECK_SUCCESS && ret != CHECK_WITH_INFO && ret != CHECK_NEED_DATA) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        /* One row per fetch: checking every row for a cut value costs
         * nothing here, and a fetch that waits for LONG data (99) could
         * not report a cut value otherwise. */
        if (check_cut_values(w, tab, 0) != 0) return -1;
        if (!wide && w->ctail + reserve > w->csz && write_cache(w) != 0) return -1;
        if (put_row(w, tab, wide) != 0) return -1;

        if (ret == CHECK_NEED_DATA) {
            w->long_dc = long_dc;
            ret = fetch_long_piece(w);
            w->long_dc = NULL;
            w->long_slot = -1;
            if (ret != 0) return -1;
        }
        for (uint32_t c = 0; c < tab->info.ncol; c++) {
            const DEFINE_COLUMN *dc = &w->dc[c];
            if (IS_LOB_CTYPE(dc->ctype) && dc->indp[0] != -1 && fetch_lob(w, (int)c, 0) != 0)
                return -1;
        }
        if (w->ctail >= EXP_STREAM_FLUSH && write_cache(w) != 0) return -1;
        w->nrow++;
        if (!w->run->lock) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - 1, w->nrow);
        EXP_ASSERT_CACHE(w);
    }
    return 0;
}

int export_single_row(EXP_WORKER *w, EXP_TABLE *tab)
{
    if (execute_statement(w, 0) != 0) return -1;
    if (export_rows_alone(w, tab) != 0) return -1;

    /* the end mark, row count and progress line; after the rows of one
     * ROWID range, only at the table's last (export_table.c) */
    return end_table_rows(w, tab, ". . exporting table %30s %10d rows exported\n");
}
