/*
 * export_table.c - the per-table sequence of tabexp: writes one complete
 * table section (DDL, column block, rows and streams, index and primary
 * key statements) in the order in which the pieces stand in the dump. A
 * table with ROWID ranges has its rows read range after range; in a
 * parallel run each range is a part of its own, which any worker reads.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "args.h"
#include "exp_local.h"
#include "section_sum.h"
#include "table_meta.h"
#include "table_ranges.h"

/* The end of a table's rows: the mark, its row count and progress line. */
static int finish_rows(EXP_WORKER *w, EXP_TABLE *tab, const char *fmt)
{
    if (cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_ROWS_END);
    if (write_cache(w) != 0) return -1;
    tab->info.nrows = (uint32_t)w->nrow;
    if (!w->run->lock) feedback_end(&w->run->opts.feedback, w->run->ofp);
    if (fmt) table_done_line(w, fmt);
    return 0;
}

int end_table_rows(EXP_WORKER *w, EXP_TABLE *tab, const char *fmt)
{
    if (!w->range) return finish_rows(w, tab, fmt);
    /* rows of the next range follow; the table's end comes after its last */
    w->rows_fmt = fmt;
    return 0;
}

/* The SELECT of the table's rows, or of the worker's range of them, is
 * prepared and executed and its rows written, counted on from `rows`.
 * `tab` is the table record prepare_to_select may change (it counts LOB
 * columns). */
static int read_rows(EXP_WORKER *w, EXP_TABLE *tab, int rows)
{
    int ret;
    if (prepare_to_select(w, tab) < 0) {
        fprintf(stderr, "Prepare select statement error.\n");
        return -1;
    }
    w->nrow = rows;
    if (w->range && bind_range(w) != 0) {
        free_lob_locator(w, tab);
        return -1;
    }
    if (rows_in_arrays(w, tab))
        ret = export_multiple_row(w, tab);
    else
        ret = export_single_row(w, tab);
    free_lob_locator(w, tab);
    return ret < 0 ? -1 : 0;
}

/* The index and key statements that close a section. */
static int section_tail(EXP_WORKER *w, EXP_TABLE *tab)
{
    if (export_create_index_sql(w, tab) < 0) {
        fprintf(stderr, "Export create index DDL text error.\n");
        return -1;
    }
    if (export_create_constraint_sql(w, tab) < 0) {
        fprintf(stderr, "Export create constraint DDL text error.\n");
        return -1;
    }
    drop_table_meta(w->run, tab);
    return 0;
}

/* The DDL text block and the column block at the section's start. */
static int section_head(EXP_WORKER *w, EXP_TABLE *tab)
{
    if (export_create_table_sql(w, tab) < 0) {
        fprintf(stderr, "Export create table DDL text error.\n");
        return -1;
    }
    if (export_column_information(w, tab) < 0) {
        fprintf(stderr, "Export column information error.\n");
        return -1;
    }
    return 0;
}

/* The rows of a table with ranges, one range after the other, on one
 * session: the first range reads the column block the head has just put
 * in the cache, later ones a copy of it (the first SELECT turns the block
 * into its file form). The row count runs on across ranges, so FEEDBACK
 * counts the table's rows. */
static int read_ranges(EXP_WORKER *w, EXP_TABLE *tab)
{
    EXP_SPLIT *s = tab->split;
    size_t block = sizeof(COL_INFO) * tab->info.ncol;
    COL_INFO *cols = (COL_INFO *)malloc(2 * block + 1);
    if (!cols) {
        fprintf(stderr, "Allocate memory for the columns of table \"%s\" error.\n", exp_table_name(tab));
        return -1;
    }
    COL_INFO *scratch = cols + tab->info.ncol;
    memcpy(cols, w->colp, block);
    uint64_t target = range_target(w->run);
    uint32_t nlob = 0;
    int ret = 0;
    EXP_RANGE r;
    while (ret == 0 && next_range(s, target, &r)) {
        if (!r.first) {
            memcpy(scratch, cols, block);
            w->colp = scratch;
            tab->info.nlob = 0;
        }
        uint64_t before = w->out_bytes + (uint64_t)w->ctail;
        w->range = &r;
        ret = read_rows(w, tab, r.first ? 0 : w->nrow);
        w->range = NULL;
        if (r.first) nlob = tab->info.nlob;
        tab->info.nlob = nlob;
        if (ret == 0) range_read(s, &r, w->out_bytes + (uint64_t)w->ctail - before);
        if (ret == 0 && worker_stopped(w)) ret = -1;
    }
    free(cols);
    return ret;
}

int export_table(EXP_WORKER *w, EXP_TABLE *tab)
{
    /* a table handed to a worker of a parallel run whole is one part */
    int piece = w->piece != NULL;
    w->tab = tab;
    metrics_table_begin(&w->env);
    EXP_ASSERT_CACHE(w);
    assert(w->ctail == 0);  /* the previous section was written out whole */
    assert(!w->range);
    if (!piece) section_begin(w);
    if (section_head(w, tab) != 0) return -1;
    if (tab->split && !piece) {
        w->rows_fmt = NULL;
        if (read_ranges(w, tab) != 0 || finish_rows(w, tab, w->rows_fmt) != 0) return -1;
    } else if (read_rows(w, tab, 0) != 0) {
        return -1;
    }
    if (section_tail(w, tab) != 0) return -1;
    EXP_ASSERT_CACHE(w);
    assert(w->ctail == 0);
    return piece ? 0 : section_end(w, tab);
}

int export_range(EXP_WORKER *w, EXP_TABLE *tab, const EXP_RANGE *r)
{
    EXP_SPLIT *s = tab->split;
    w->tab = tab;
    metrics_table_begin(&w->env);
    EXP_ASSERT_CACHE(w);
    assert(w->ctail == 0 && w->piece);
    /* The table record as this range's SELECT may change it. Readers of
     * other ranges copy only what never changes: the first range's reader
     * writes the record meanwhile. */
    EXP_TABLE mine;
    COL_INFO *cols = NULL;
    if (r->first) {
        if (section_head(w, tab) != 0) return -1;
        if (publish_split_head(w, tab) != 0) return -1;
        mine = *tab;
    } else {
        memset(&mine, 0, sizeof(mine));
        memcpy(mine.info.tab_name, tab->info.tab_name, sizeof(mine.info.tab_name));
        mine.long_name = tab->long_name;
        if (wait_split_head(w, s) != 0) return -1;
        size_t block = sizeof(COL_INFO) * s->head.ncol;
        cols = (COL_INFO *)malloc(block ? block : 1);
        if (!cols) {
            fprintf(stderr, "Allocate memory for the columns of table \"%s\" error.\n", exp_table_name(tab));
            return -1;
        }
        memcpy(cols, s->head.cols, block);
        w->colp = cols;
        mine.info.ncol = s->head.ncol;
        mine.info.flag = s->head.flag;
        mine.info.nlob = 0;
    }
    w->range = r;
    w->rows_fmt = NULL;
    uint64_t before = w->out_bytes + (uint64_t)w->ctail;
    int ret = read_rows(w, &mine, 0);
    w->range = NULL;
    free(cols);
    if (r->first) tab->info.nlob = mine.info.nlob;
    if (ret != 0) return -1;
    range_done(w, tab, r, w->out_bytes + (uint64_t)w->ctail - before);
    if (!r->last) return write_cache(w);
    /* the end of the table's rows and the statements after them, checked
     * against the table text the first range read */
    if (!r->first) {
        memcpy(w->table_text, s->head.table_text, s->head.table_text_len);
        w->table_text[s->head.table_text_len] = '\0';
        w->table_text_len = s->head.table_text_len;
        memcpy(w->identity_col, s->head.identity_col, sizeof(w->identity_col));
        memcpy(w->identity_kind, s->head.identity_kind, sizeof(w->identity_kind));
    }
    if (cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_ROWS_END);
    if (write_cache(w) != 0) return -1;
    if (section_tail(w, tab) != 0) return -1;
    EXP_ASSERT_CACHE(w);
    assert(w->ctail == 0);
    return 0;
}
