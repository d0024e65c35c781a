/*
 * multiple_insert.c - loads the rows of a table without LONG or LOB
 * columns: puts the rows the reader delivers into the bind arrays, inserts
 * them in batches of max_row rows and commits once at the end.
 */
#include <assert.h>
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "dump_fault.h"
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

/* Puts the slots the reader delivered into row n of the arrays. */
static void bind_row(IMP_WORKER *w, uint32_t ncol, int n)
{
    const DUMP_VALUE *v = w->vals;
    for (uint32_t j = 0; j < ncol; j++) {
        BIND_COLUMN *b = &w->bc[j];
        if (v[j].kind == DUMP_VAL_NULL) {
            b->indp[n] = -1;
            b->alenp[n] = 0;
            continue;
        }
        /* the reader let through only values that fit their column */
        assert(v[j].kind == DUMP_VAL_VALUE && v[j].len <= b->vsz);
        memcpy(b->valp + (size_t)n * b->vsz, v[j].p, v[j].len);
        b->indp[n] = 0;
        b->alenp[n] = imp_bind_length(b, v[j].p, (uint16_t)v[j].len);
    }
}

int import_multiple_row(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    int n = 0, rc;

    while ((rc = dump_row_next(w->rows, w->vals)) > 0) {
        assert(n >= 0 && n < w->max_row);
        bind_row(w, t->ncol, n);
        if (++n == w->max_row) {
            if (insert_batch(w, n) < 0) return -1;
            n = 0;
        }
    }
    if (rc < 0) return imp_rows_fault(w->run, w->dump);
    if (w->rows->rows > 0) {
        if (n > 0 && insert_batch(w, n) < 0) return -1;
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
