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

int check_cut_values(EXP_WORKER *w, EXP_TABLE *tab, ub4 row)
{
    for (uint32_t c = 0; c < tab->info.ncol; c++) {
        const DEFINE_COLUMN *dc = &w->dc[c];
        if (dc->vsz == 0) continue;  /* LONG and LOB values are never cut */
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

int export_multiple_row(EXP_WORKER *w, EXP_TABLE *tab)
{
    int64_t row_len = 4;
    int ret;

    for (uint32_t c = 0; c < tab->info.ncol; c++) row_len += (int64_t)w->dc[c].vsz + 2;
    int wide = row_len > w->csz;

    if (execute_statement(w, 0) != 0) return -1;

    do {
        ub4 rrows = 0;
        ret = fetch_rows(w, (ub4)w->max_row, &rrows);
        if (ret < 0) return -1;
        /* A batch that cut a value says so with 1, or with 100 when it
         * also reached the end of the rows. */
        int maybe_cut = (ret == CHECK_WITH_INFO || ret == CHECK_NO_DATA);
        long long before = w->nrow;
        for (ub4 i = 0; i < rrows; i++) {
            if (maybe_cut && check_cut_values(w, tab, i) != 0) return -1;
            if (!wide && w->ctail + row_len > w->csz && write_cache(w) != 0) return -1;
            if (put_row(w, tab, i, wide) != 0) return -1;
            w->nrow++;
        }
        if (!w->run->lock) feedback_rows(&w->run->opts.feedback, w->run->ofp, before, w->nrow);
        EXP_ASSERT_CACHE(w);
        /* A stop asked by a signal ends the table between batches; the
         * caller names the signal and the table. */
        if (worker_stopped(w)) return -1;
    } while (ret != CHECK_NO_DATA);

    /* the end mark, row count and progress line; after the rows of one
     * ROWID range, only at the table's last (export_table.c) */
    return end_table_rows(w, tab, ". . exporting table  %30s %10d rows exported\n");
}
