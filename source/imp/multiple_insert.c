/*
 * multiple_insert.c - loads a table's rows in array INSERTs of max_row
 * rows and commits once at the end: the rows of a table without LONG or
 * LOB columns, and those of a table whose LOB values go in the arrays as
 * data (each value of up to LOB_ARRAY_BOUND bytes read from its stream
 * into its slot; rows with empty values in batches of their own, which
 * give those columns empty LOBs). A row with a longer LOB value goes in
 * alone after the rows before it, through its locators. The rows of a
 * LONG table likewise: values of up to IMP_LONG_ARRAY_BOUND bytes in the
 * arrays, a row with a longer one alone.
 */
#include <assert.h>
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "dump_fault.h"
#include "table_name.h"
#include "show_text.h"

/* Inserts the n rows of the batch, whose LOB values of the columns in
 * `empty` are empty; 0 or -1. */
static int insert_batch(IMP_WORKER *w, int n, uint32_t empty)
{
    OCIStmt *stmt = w->env.smthp;
    if (stop_requested()) return -1;
    if (empty && imp_variant_statement(w, empty, &stmt) < 0) return -1;
    int r = execute_insert(w, stmt, n, 1);
    int refused = r >= IMP_BATCH_REFUSED ? r - IMP_BATCH_REFUSED : 0;
    if (r < 0 || r == CHECK_NEED_DATA) {
        fprintf(stderr, "Insert data error.\n");
        return -1;
    }
    w->nrow += n - refused;
    if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - (n - refused), w->nrow);
    return 0;
}

/* The same for a LONG table's rows, whose failure is reported as its rows
 * one at a time always reported it: the database's message alone. */
static int insert_long_batch(IMP_WORKER *w, int n)
{
    if (stop_requested()) return -1;
    int r = execute_insert(w, w->env.smthp, n, 1);
    int refused = r >= IMP_BATCH_REFUSED ? r - IMP_BATCH_REFUSED : 0;
    if (r < 0) return -1;
    if (r == CHECK_NEED_DATA) {
        fprintf(stderr, "Insert data error.\n");
        return -1;
    }
    w->nrow += n - refused;
    if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - (n - refused), w->nrow);
    return 0;
}

/* Puts the ordinary slots the reader delivered into row n of the arrays
 * (the first `nord` columns). */
static void bind_row(IMP_WORKER *w, uint32_t nord, int n)
{
    const DUMP_VALUE *v = w->vals;
    for (uint32_t j = 0; j < nord; j++) {
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

/* Commits the table's rows and writes its line. */
static int end_table(IMP_WORKER *w, const IMP_TABLE *table)
{
    if (w->rows->rows > 0) {
        if (stop_requested()) return -1;
        sword st = OCITransCommit(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stdout, "OCITransCommit()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        w->rows_committed = 1;
    }
    if (w->feedback) feedback_end(&w->run->opts.feedback, w->run->ofp);
    imp_table_done_line(w, TABLE_NAME(table));
    return 0;
}

int import_multiple_row(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    int n = 0, rc;

    while ((rc = dump_row_next(w->rows, w->vals)) > 0) {
        assert(n >= 0 && n < w->max_row);
        bind_row(w, t->ncol, n);
        if (++n == w->max_row) {
            if (insert_batch(w, n, 0) < 0) return -1;
            n = 0;
        }
    }
    if (rc < 0) return imp_rows_fault(w->run, w->dump);
    if (w->rows->rows > 0 && n > 0 && insert_batch(w, n, 0) < 0) return -1;
    return end_table(w, table);
}

/* ---- rows with LOB values in arrays ------------------------------------ */

/* Reads the row's LOB streams into the slots of row n, in order, and
 * sets in *empty the columns whose values are empty. Returns 1 when the
 * row's values all went into the arrays; 0 when one did not (one longer
 * than its slot): w->held then says what each slot holds and the row goes
 * in alone; -1 after a fault. */
static int read_lobs(IMP_WORKER *w, uint32_t first_lob, uint32_t nlob, int n, uint32_t *empty)
{
    int fits = 1;
    *empty = 0;
    for (uint32_t m = 0; m < nlob; m++) {
        BIND_COLUMN *b = &w->bc[first_lob + m];
        IMP_HELD *h = &w->held[m];
        h->state = HELD_NONE;
        h->len = 0;
        if (w->vals[first_lob + m].kind == DUMP_VAL_NULL) {
            b->indp[n] = -1;
            b->alenp[n] = 0;
            continue;
        }
        b->indp[n] = 0;
        if (!fits) continue;  /* after the first that did not fit: read when the row goes in */
        DUMP_PIECE pc;
        uint8_t *slot = b->valp + (size_t)n * b->vsz;
        if (dump_stream_begin(w->rows) <= 0) return imp_rows_fault(w->run, w->dump);
        int more = dump_stream_next(w->rows, &pc);
        if (more < 0) return imp_rows_fault(w->run, w->dump);
        if (imp_hold_stream(w, slot + 4, b->vsz - 4, more, &pc, h) < 0) return -1;
        sb4 len = (sb4)h->len;
        memcpy(slot, &len, sizeof(len));
        /* an empty value past the 32 a pattern tells goes in alone */
        if (h->state != HELD_WHOLE || (h->len == 0 && m >= 32)) fits = 0;
        else if (h->len == 0) *empty |= 1u << m;
    }
    return fits;
}

/* Moves row n of the arrays to row 0 (n > 0); what w->held points to moves along. */
static void move_row(IMP_WORKER *w, const TAB_INFO *t, uint32_t first_lob, int n)
{
    for (uint32_t k = 0; k < t->ncol; k++) {
        BIND_COLUMN *b = &w->bc[k];
        b->indp[0] = b->indp[n];
        b->alenp[0] = b->alenp[n];
        if (b->indp[n] == -1) continue;
        size_t len = b->flag == BIND_LOB_DATA ? 4 + w->held[k - first_lob].len : b->alenp[n];
        memmove(b->valp, b->valp + (size_t)n * b->vsz, len);
        if (b->flag == BIND_LOB_DATA) w->held[k - first_lob].p = b->valp + 4;
    }
}

/* The row in row 0 goes in alone: its LOB inputs NULL or, to be filled,
 * the new LOBs. IMP_ROW_DONE, IMP_ROW_SKIPPED, or -1. */
static int insert_alone(IMP_WORKER *w, const IMP_TABLE *table, uint32_t first_lob)
{
    for (uint32_t m = 0; m < table->info.nlob; m++) {
        BIND_COLUMN *rb = &w->rbc[first_lob + m];
        rb->indp[0] = w->bc[first_lob + m].indp[0];
        rb->alenp[0] = rb->indp[0] == -1 ? 0 : (ub2)sizeof(OCILobLocator *);
    }
    return imp_insert_row_alone(w, table);
}

int import_lob_rows(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    uint32_t first_lob = t->ncol - t->nlob;
    uint32_t batch_empty = 0, empty = 0;
    int n = 0, rc;

    while ((rc = dump_row_next(w->rows, w->vals)) > 0) {
        assert(n >= 0 && n < w->max_row);
        if (stop_requested()) return -1;
        bind_row(w, first_lob, n);
        int fits = read_lobs(w, first_lob, t->nlob, n, &empty);
        if (fits < 0) return -1;
        /* the rows before it first, in the file's order, when it cannot
         * join their batch */
        if (n > 0 && (!fits || empty != batch_empty)) {
            if (insert_batch(w, n, batch_empty) < 0) return -1;
            move_row(w, t, first_lob, n);
            n = 0;
        }
        if (fits) {
            batch_empty = empty;
            if (++n == w->max_row) {
                if (insert_batch(w, n, batch_empty) < 0) return -1;
                n = 0;
            }
            continue;
        }
        int r = insert_alone(w, table, first_lob);
        if (r < 0) return -1;
        if (r == IMP_ROW_DONE) {
            w->nrow++;
            if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - 1, w->nrow);
        }
    }
    if (rc < 0) return imp_rows_fault(w->run, w->dump);
    if (w->rows->rows > 0 && n > 0 && insert_batch(w, n, batch_empty) < 0) return -1;
    /* temporary LOBs go before the commit: none is left to it */
    imp_lob_temps_end(w, t);
    return end_table(w, table);
}

/* ---- rows with a LONG value in arrays ---------------------------------- */

int import_long_rows(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    uint32_t lc = t->ncol - 1; /* the LONG column, the last bind */
    BIND_COLUMN *lb = &w->bc[lc];
    int n = 0, rc;

    while ((rc = dump_row_next(w->rows, w->vals)) > 0) {
        assert(n >= 0 && n < w->max_row);
        if (stop_requested()) return -1;
        bind_row(w, lc, n);
        IMP_HELD h;
        if (hold_long_value(w, &h) < 0) return -1;
        if (h.state == HELD_WHOLE && h.len <= lb->vsz) {
            /* NULL, or empty, which is NULL too */
            lb->indp[n] = h.p && h.len > 0 ? 0 : -1;
            lb->alenp[n] = lb->indp[n] == 0 ? (ub2)h.len : 0;
            if (lb->indp[n] == 0) memcpy(lb->valp + (size_t)n * lb->vsz, h.p, h.len);
            if (++n == w->max_row) {
                if (insert_long_batch(w, n) < 0) return -1;
                n = 0;
            }
            continue;
        }
        /* a longer value: the rows before it first, in the file's order,
         * then its row alone, its other values moved to row 0 */
        if (n > 0) {
            if (insert_long_batch(w, n) < 0) return -1;
            for (uint32_t k = 0; k < lc; k++) {
                BIND_COLUMN *b = &w->bc[k];
                b->indp[0] = b->indp[n];
                b->alenp[0] = b->alenp[n];
                if (b->indp[n] != -1) memmove(b->valp, b->valp + (size_t)n * b->vsz, b->alenp[n]);
            }
            n = 0;
        }
        int r = imp_insert_long_alone(w, table, &h);
        if (r < 0) return -1;
        if (r == IMP_ROW_DONE) {
            w->nrow++;
            if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - 1, w->nrow);
        }
    }
    if (rc < 0) return imp_rows_fault(w->run, w->dump);
    if (w->rows->rows > 0 && n > 0 && insert_long_batch(w, n) < 0) return -1;
    return end_table(w, table);
}
