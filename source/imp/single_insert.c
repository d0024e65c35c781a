/*
 * single_insert.c - loads the rows of a table with LONG or LOB columns one
 * at a time: the row record, then its LONG stream, then its LOB streams.
 */
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "table_name.h"
#include "show_text.h"

/* Decodes the row record at the read position into row 0 of the input
 * binds. A LONG slot may only be 0xFFFB or NULL, a LOB slot only 0xFFFC or
 * NULL; an ordinary slot is NULL or a length that fits its value slot. */
static int decode_row(IMP_WORKER *w, uint32_t ncol)
{
    for (uint32_t j = 0; j < ncol; j++) {
        BIND_COLUMN *b = &w->bc[j];
        uint16_t word;
        if (imp_take16(w, &word) < 0) return -1;
        b->indp[0] = 0;
        b->alenp[0] = 0;
        if (word == MARK_NULL) {
            b->indp[0] = -1;
        } else if (b->flag == BIND_LONG) {
            if (word != MARK_LONG) return imp_bad_row();
        } else if (b->flag == BIND_LOB) {
            if (word != MARK_LOB) return imp_bad_row();
            b->alenp[0] = (ub2)sizeof(OCILobLocator *);
        } else {
            if (word > b->vsz) return imp_bad_row();
            if (imp_need(w, word) < 0) return -1;
            assert(word <= b->vsz && w->rtail + word <= w->dlen);
            memcpy(b->valp, w->rbuf + w->rtail, word);
            b->alenp[0] = imp_bind_length(b, w->rbuf + w->rtail, word);
            w->rtail += word;
        }
    }
    uint16_t end;
    if (imp_take16(w, &end) < 0) return -1;
    if (end != MARK_END) return imp_bad_row();
    return 0;
}

/* Steps over the LOB streams of a refused row. */
static int skip_lob_streams(IMP_WORKER *w, const TAB_INFO *t, uint32_t first_lob)
{
    for (uint32_t m = 0; m < t->nlob; m++) {
        if (w->bc[first_lob + m].indp[0] == -1) continue;
        uint16_t word;
        if (imp_take16(w, &word) < 0) return -1;
        if (word != MARK_STREAM) return imp_bad_row();
        if (imp_skip_stream_rest(w) < 0) return -1;
    }
    return 0;
}

/* Inserts the decoded row and consumes its streams: IMP_ROW_DONE,
 * IMP_ROW_SKIPPED when the target refused the row (IGNORE=Y; reported, its
 * streams stepped over), or -1. */
static int insert_row(IMP_WORKER *w, const IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    uint32_t ncol = t->ncol, nlob = t->nlob;
    uint32_t has_long = (t->flag & TAB_HAS_LONG) != 0;
    uint32_t first_lob = ncol - nlob - has_long;

    for (uint32_t k = ncol; k < ncol + nlob; k++) {
        w->bc[k].indp[0] = -1;
        w->bc[k].alenp[0] = 0;
    }
    int r = execute_insert(w, 1);
    if (r == IMP_ROW_REFUSED) {
        imp_row_rejected(w, get_ora_message(&w->env));
        if (has_long) {
            if (imp_need(w, 2) < 0) return -1;
            if (imp_peek16(w) == MARK_STREAM) {
                w->rtail += 2;
                if (imp_skip_stream_rest(w) < 0) return -1;
            }
        }
        return skip_lob_streams(w, t, first_lob) < 0 ? -1 : IMP_ROW_SKIPPED;
    }
    if (r < 0) return -1;
    if (r == CHECK_NEED_DATA) {
        if (!has_long) {
            fprintf(stderr, "Table %s: data asked for a column without a stream.\n", TABLE_NAME(table));
            return -1;
        }
        int lr = insert_long_piece(w);
        if (lr < 0) return -1;
        if (lr == IMP_ROW_SKIPPED) return skip_lob_streams(w, t, first_lob) < 0 ? -1 : IMP_ROW_SKIPPED;
    } else if (has_long && w->bc[ncol - 1].indp[0] != -1) {
        /* the LONG stream in the file would be left unread */
        fprintf(stderr, "Table %s: LONG value was not asked for.\n", TABLE_NAME(table));
        return -1;
    }
    /* One stream follows for every LOB slot 0xFFFC, in select order. */
    for (uint32_t m = 0; m < nlob; m++) {
        if (w->bc[first_lob + m].indp[0] == -1) continue;
        if (w->bc[ncol + m].indp[0] == -1) {
            fprintf(stderr, "Table %s: no LOB locator returned.\n", TABLE_NAME(table));
            return -1;
        }
        if (insert_lob(w, (int)(ncol + m)) < 0) return -1;
    }
    return IMP_ROW_DONE;
}

int import_single_row(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    int row_len = 2;

    for (uint32_t j = 0; j < t->ncol; j++) row_len += (int)w->bc[j].vsz + 2;

    if (imp_need(w, 2) < 0) return -1;
    if (imp_peek16(w) == MARK_ROWS_END) {
        w->rtail += 2;
    } else {
        for (;;) {
            if (w->rtail + row_len > w->dlen && read_file(w) < 0) return -1;
            if (stop_requested()) return -1;
            if (decode_row(w, t->ncol) < 0) return -1;
            int r = insert_row(w, table);
            if (r < 0) return -1;
            if (r == IMP_ROW_DONE) {
                w->nrow++;
                if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - 1, w->nrow);
            }
            if (w->rtail + row_len > w->dlen && read_file(w) < 0) return -1;
            if (imp_need(w, 2) < 0) return -1;
            if (imp_peek16(w) == MARK_ROWS_END) break;
        }
        w->rtail += 2;
        if (stop_requested()) return -1;
        sword st = OCITransCommit(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stdout, "OCITransCommit()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    }
    if (w->feedback) feedback_end(&w->run->opts.feedback, w->run->ofp);
    imp_table_done_line(w, TABLE_NAME(table));
    return 0;
}
