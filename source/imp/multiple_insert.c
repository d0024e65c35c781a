/*
 * multiple_insert.c - loads the rows of a table without LONG or LOB
 * columns: decodes row records into the bind arrays, inserts them in
 * batches of max_row rows and commits once at the end.
 */
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "table_name.h"
#include "show_text.h"

/* Inserts the n rows of the batch; 0 or -1. */
static int insert_batch(IMP_WORKER *w, int n)
{
    if (stop_requested()) return -1;
    int r = execute_insert(w, n);
    int refused = r >= IMP_BATCH_REFUSED ? r - IMP_BATCH_REFUSED : 0;
    if (r < 0 || r == CHECK_NEED_DATA) {
        fprintf(stderr, "Insert data error.\n");
        return -1;
    }
    w->nrow += n - refused;
    if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - (n - refused), w->nrow);
    return 0;
}

/* Decodes the row record at the read position into row n of the arrays. */
static int decode_row(IMP_WORKER *w, uint32_t ncol, int n)
{
    for (uint32_t j = 0; j < ncol; j++) {
        BIND_COLUMN *b = &w->bc[j];
        uint16_t word;
        if (imp_take16(w, &word) < 0) return -1;
        if (word == MARK_NULL) {
            b->indp[n] = -1;
            b->alenp[n] = 0;
            continue;
        }
        /* Only a length may stand here, and it must fit the value slot. */
        if (word > b->vsz) return imp_bad_row();
        if (imp_need(w, word) < 0) return -1;
        assert(word <= b->vsz && w->rtail + word <= w->dlen);
        memcpy(b->valp + (size_t)n * b->vsz, w->rbuf + w->rtail, word);
        b->indp[n] = 0;
        b->alenp[n] = imp_bind_length(b, w->rbuf + w->rtail, word);
        w->rtail += word;
    }
    uint16_t end;
    if (imp_take16(w, &end) < 0) return -1;
    if (end != MARK_END) return imp_bad_row();
    return 0;
}

int import_multiple_row(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    int row_len = 4;
    int n = 0;

    for (uint32_t j = 0; j < t->ncol; j++) row_len += (int)w->bc[j].vsz + 2;

    if (imp_need(w, 2) < 0) return -1;
    if (imp_peek16(w) != MARK_ROWS_END) {
        for (;;) {
            /* Move the window to the row's start when the row might not be
             * loaded whole, so that a row is never split. */
            if (w->rtail + row_len > w->dlen && read_file(w) < 0) return -1;
            assert(n >= 0 && n < w->max_row);
            if (decode_row(w, t->ncol, n) < 0) return -1;
            if (++n == w->max_row) {
                if (insert_batch(w, n) < 0) return -1;
                n = 0;
            }
            if (imp_need(w, 2) < 0) return -1;
            if (imp_peek16(w) == MARK_ROWS_END) break;
        }
        w->rtail += 2;
        if (n > 0 && insert_batch(w, n) < 0) return -1;
        if (stop_requested()) return -1;
        sword st = OCITransCommit(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stdout, "OCITransCommit()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    } else {
        w->rtail += 2;
    }
    if (w->feedback) feedback_end(&w->run->opts.feedback, w->run->ofp);
    imp_table_done_line(w, TABLE_NAME(table));
    return 0;
}
