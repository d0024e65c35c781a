/*
 * multiple_export.c - writes the rows of a table without LONG or LOB
 * columns: array fetches of max_row rows, each row encoded straight from
 * the define arrays into the write cache.
 */
#include <stdio.h>
#include <string.h>

#include "args.h"
#include "exp_local.h"
#include "show_text.h"

int check_cut_values(int ti, ub4 row)
{
    for (uint32_t c = 0; c < g_exp.tabp[ti].ncol; c++) {
        const DEFINE_COLUMN *dc = &g_exp.dc[c];
        if (dc->vsz == 0) continue;  /* LONG and LOB values are never cut */
        sb2 ind = dc->indp[row];
        if (dc->rcodep[row] == 1406 && ind != 0 && ind != -1) {
            fprintf(stderr, "Value of column \"%s\" in table \"%s\" was cut to fit its buffer.\n",
                    g_select_names ? g_select_names[c] : "?", exp_table_name(ti));
            return -1;
        }
    }
    return 0;
}

static int too_long(int ti, uint32_t c)
{
    fprintf(stderr, "Value of column \"%s\" in table \"%s\" is longer than its buffer.\n",
            g_select_names ? g_select_names[c] : "?", exp_table_name(ti));
    return -1;
}

/* Appends row i. With `wide` (a row that might not fit in the whole cache)
 * room is made value by value; otherwise the caller made room for the
 * widest row. */
static int put_row(int ti, ub4 i, int wide)
{
    uint32_t ncol = g_exp.tabp[ti].ncol;
    for (uint32_t c = 0; c < ncol; c++) {
        const DEFINE_COLUMN *dc = &g_exp.dc[c];
        if (dc->indp[i] == -1) {
            if (wide && cache_room(2) != 0) return -1;
            cache_put16(MARK_NULL);
            continue;
        }
        ub2 len = dc->alenp[i];
        if (len > dc->vsz) return too_long(ti, c);
        if (wide && cache_room(2 + len) != 0) return -1;
        cache_put16(len);
        memcpy(g_exp.cache + g_exp.ctail, dc->valp + (size_t)i * dc->vsz, len);
        g_exp.ctail += len;
    }
    if (wide && cache_room(2) != 0) return -1;
    cache_put16(MARK_END);
    return 0;
}

int export_multiple_row(int ti)
{
    TAB_INFO *tab = &g_exp.tabp[ti];
    int64_t row_len = 4;
    int ret;

    for (uint32_t c = 0; c < tab->ncol; c++) row_len += (int64_t)g_exp.dc[c].vsz + 2;
    int wide = row_len > g_exp.csz;

    if (execute_statement(0) != 0) return -1;

    do {
        ub4 rrows = 0;
        ret = fetch_rows((ub4)g_exp.max_row, &rrows);
        if (ret < 0) return -1;
        /* A batch that cut a value says so with 1, or with 100 when it
         * also reached the end of the rows. */
        int maybe_cut = (ret == 1 || ret == 100);
        long long before = g_exp.nrow;
        for (ub4 i = 0; i < rrows; i++) {
            if (maybe_cut && check_cut_values(ti, i) != 0) return -1;
            if (!wide && g_exp.ctail + row_len > g_exp.csz && write_cache() != 0) return -1;
            if (put_row(ti, i, wide) != 0) return -1;
            g_exp.nrow++;
        }
        feedback_rows(&g_run_options.feedback, g_exp.ofp, before, g_exp.nrow);
        /* A stop asked by a signal ends the table between batches; the
         * caller names the signal and the table. */
        if (stop_requested()) return -1;
    } while (ret != 100);

    if (cache_room(2) != 0) return -1;
    cache_put16(MARK_ROWS_END);
    if (write_cache() != 0) return -1;

    tab->nrows = (uint32_t)g_exp.nrow;
    feedback_end(&g_run_options.feedback, g_exp.ofp);
    fprintf(g_exp.ofp, ". . exporting table  %30s %10d rows exported\n", show(EXP_NAME(tab)),
            g_exp.nrow);
    return 0;
}
