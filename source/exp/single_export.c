/*
 * single_export.c - writes the rows of a table with LONG or LOB columns,
 * one row per fetch: the row record with placeholder slots, then the
 * row's LONG stream and one stream per non-NULL LOB value.
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
static int put_row(int ti, int wide)
{
    uint32_t ncol = g_exp.tabp[ti].ncol;
    g_long_slot = -1;
    for (uint32_t c = 0; c < ncol; c++) {
        const DEFINE_COLUMN *dc = &g_exp.dc[c];
        int is_long = IS_LONG_CTYPE(dc->ctype);
        if (wide && cache_room(is_long ? 6 + EXP_PIECE_ROOM : 2) != 0) return -1;
        if (dc->indp[0] == -1) {
            cache_put16(MARK_NULL);
        } else if (is_long) {
            g_long_slot = g_exp.ctail;
            cache_put16(MARK_LONG);
        } else if (IS_LOB_CTYPE(dc->ctype)) {
            cache_put16(MARK_LOB);
        } else {
            ub2 len = dc->alenp[0];
            if (len > dc->vsz) {
                fprintf(stderr, "Value of column \"%s\" in table \"%s\" is longer than its buffer.\n",
                        g_select_names ? g_select_names[c] : "?", exp_table_name(ti));
                return -1;
            }
            if (wide && cache_room(2 + len) != 0) return -1;
            cache_put16(len);
            memcpy(g_exp.cache + g_exp.ctail, dc->valp, len);
            g_exp.ctail += len;
        }
    }
    if (wide && cache_room(2) != 0) return -1;
    cache_put16(MARK_END);
    return 0;
}

int export_single_row(int ti)
{
    TAB_INFO *tab = &g_exp.tabp[ti];
    DEFINE_COLUMN *long_dc = NULL;
    int64_t row_len = 2;
    int ret;
    sword rc;

    for (uint32_t c = 0; c < tab->ncol; c++) {
        row_len += (int64_t)g_exp.dc[c].vsz + 2;
        if (g_exp.dc[c].flag & 1) long_dc = &g_exp.dc[c];
    }
    /* Room before a row: the row, and for a LONG stream its start word and
     * first piece. */
    int64_t reserve = row_len + (long_dc ? 2 + EXP_PIECE_ROOM : 0);
    int wide = reserve > g_exp.csz;

    if (execute_statement(0) != 0) return -1;

    for (;;) {
        /* A stop asked by a signal ends the table between rows; the
         * caller names the signal and the table. */
        if (stop_requested()) return -1;
        /* A NULL LONG may be reported only with its first piece: start
         * every row from "not NULL" rather than from the last row's mark. */
        if (long_dc) long_dc->indp[0] = 0;
        rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&g_env, rc);
        if (ret == 100) break;
        if (ret != 0 && ret != 1 && ret != 99) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&g_env));
            return -1;
        }
        /* One row per fetch: checking every row for a cut value costs
         * nothing here, and a fetch that waits for LONG data (99) could
         * not report a cut value otherwise. */
        if (check_cut_values(ti, 0) != 0) return -1;
        if (!wide && g_exp.ctail + reserve > g_exp.csz && write_cache() != 0) return -1;
        if (put_row(ti, wide) != 0) return -1;

        if (ret == 99) {
            g_long_dc = long_dc;
            ret = fetch_long_piece();
            g_long_dc = NULL;
            g_long_slot = -1;
            if (ret != 0) return -1;
        }
        for (uint32_t c = 0; c < tab->ncol; c++) {
            const DEFINE_COLUMN *dc = &g_exp.dc[c];
            if (IS_LOB_CTYPE(dc->ctype) && dc->indp[0] != -1 && fetch_lob((int)c) != 0)
                return -1;
        }
        g_exp.nrow++;
        feedback_rows(&g_run_options.feedback, g_exp.ofp, g_exp.nrow - 1, g_exp.nrow);
    }

    if (cache_room(2) != 0) return -1;
    cache_put16(MARK_ROWS_END);
    if (write_cache() != 0) return -1;

    tab->nrows = (uint32_t)g_exp.nrow;
    feedback_end(&g_run_options.feedback, g_exp.ofp);
    fprintf(g_exp.ofp, ". . exporting table %30s %10d rows exported\n", show(EXP_NAME(tab)),
            g_exp.nrow);
    return 0;
}
