/*
 * single_insert.c - loads the rows of a table with LONG or LOB columns one
 * at a time: the row the reader delivers, then its LONG stream (in one
 * piece with the INSERT when it fits, else in pieces while the INSERT
 * waits), then its LOB streams (written through the RETURNING locators,
 * or, when the table's constraints read a LOB column, into the temporary
 * LOBs that the INSERT binds whole). A row that a table's LOB arrays
 * cannot take goes in alone the same way (imp_insert_row_alone).
 */
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "dump_fault.h"
#include "table_name.h"
#include "show_text.h"

/* Puts the slots the reader delivered into row 0 of the input binds; the
 * reader has checked that a LONG slot holds only its mark or NULL, a LOB
 * slot likewise, and an ordinary one a value that fits it or NULL. */
static void bind_row(IMP_WORKER *w, uint32_t ncol)
{
    const DUMP_VALUE *v = w->vals;
    for (uint32_t j = 0; j < ncol; j++) {
        BIND_COLUMN *b = &w->rbc[j];
        b->indp[0] = 0;
        b->alenp[0] = 0;
        switch (v[j].kind) {
        case DUMP_VAL_NULL:
            b->indp[0] = -1;
            break;
        case DUMP_VAL_LOB:
            b->alenp[0] = (ub2)sizeof(OCILobLocator *);
            break;
        case DUMP_VAL_VALUE:
            memcpy(b->valp, v[j].p, v[j].len);
            b->alenp[0] = imp_bind_length(b, v[j].p, (uint16_t)v[j].len);
            break;
        default: /* the LONG value comes as its stream */
            break;
        }
    }
}

/* Steps over what is left of the row's streams; IMP_ROW_SKIPPED or -1. */
static int skip_streams(IMP_WORKER *w)
{
    return dump_streams_skip(w->rows) < 0 ? imp_rows_fault(w->run, w->dump) : IMP_ROW_SKIPPED;
}

/* What a row's LOB slot m holds before its stream is read: nothing, or
 * what its array slot read (a row the arrays could not take). */
static IMP_HELD *held_of(IMP_WORKER *w, uint32_t m)
{
    return w->lob_arrays && w->held ? &w->held[m] : NULL;
}

/* insert_row for a table whose LOB values go whole into the INSERT: the
 * streams first, in the file's order (the LONG's held until the INSERT
 * asks for it, the LOBs' into their temporary LOBs), then the INSERT,
 * which checks the row with every value whole; a row it refuses was never
 * stored. */
static int insert_row_whole(IMP_WORKER *w, const IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    uint32_t ncol = t->ncol, nlob = t->nlob;
    uint32_t has_long = (t->flag & TAB_HAS_LONG) != 0;
    uint32_t first_lob = ncol - nlob - has_long;
    uint64_t long_len = 0;
    int long_begun = 0;

    if (has_long && (long_begun = stage_long(w, &long_len)) < 0) return -1;
    for (uint32_t m = 0; m < nlob; m++) {
        if (w->rbc[first_lob + m].indp[0] == -1) continue;
        if (insert_lob_whole(w, (int)(first_lob + m), held_of(w, m)) < 0) return -1;
    }
    int r = execute_insert(w, w->row_smthp, 1, 0);
    if (r == IMP_ROW_REFUSED) {
        imp_row_rejected(w, get_ora_message(&w->env));
        return IMP_ROW_SKIPPED;
    }
    if (r < 0) return -1;
    if (r == CHECK_NEED_DATA) {
        if (!has_long) {
            fprintf(stderr, "Table %s: data asked for a column without a stream.\n", TABLE_NAME(table));
            return -1;
        }
        return insert_long_staged(w, long_begun, long_len);
    }
    if (has_long && w->rbc[ncol - 1].indp[0] != -1) {
        fprintf(stderr, "Table %s: LONG value was not asked for.\n", TABLE_NAME(table));
        return -1;
    }
    return IMP_ROW_DONE;
}

int imp_insert_row_alone(IMP_WORKER *w, const IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    uint32_t ncol = t->ncol, nlob = t->nlob;
    uint32_t has_long = (t->flag & TAB_HAS_LONG) != 0;
    uint32_t first_lob = ncol - nlob - has_long;
    IMP_HELD long_held;

    if (w->whole_lobs) return insert_row_whole(w, table);
    for (uint32_t k = ncol; k < ncol + nlob; k++) {
        w->rbc[k].indp[0] = -1;
        w->rbc[k].alenp[0] = 0;
    }
    /* The LONG stream comes first: in one piece with the INSERT when it
     * fits (unless the rows go as they always did, in pieces). */
    int gathered = has_long && w->long_buf;
    if (gathered && bind_long_value(w, &long_held) < 0) return -1;
    int r = execute_insert(w, w->row_smthp, 1, 0);
    if (r == IMP_ROW_REFUSED) {
        imp_row_rejected(w, get_ora_message(&w->env));
        return skip_streams(w);
    }
    if (r < 0) return -1;
    if (r == CHECK_NEED_DATA) {
        if (!has_long || w->long_whole) {
            fprintf(stderr, "Table %s: data asked for a column without a stream.\n", TABLE_NAME(table));
            return -1;
        }
        int lr = gathered ? insert_long_rest(w, &long_held) : insert_long_piece(w);
        if (lr < 0) return -1;
        if (lr == IMP_ROW_SKIPPED) return skip_streams(w);
    } else if (has_long && (gathered ? !w->long_whole : w->rbc[ncol - 1].indp[0] != -1)) {
        /* the LONG stream in the file would be left unread */
        fprintf(stderr, "Table %s: LONG value was not asked for.\n", TABLE_NAME(table));
        return -1;
    } else if (has_long && !gathered && w->rows->long_left) {
        /* a NULL LONG the database did not ask for: a stream of it that
         * stands before the LOB streams is stepped over */
        DUMP_PIECE pc;
        int rc = dump_stream_begin(w->rows);
        while (rc > 0) rc = dump_stream_next(w->rows, &pc);
        if (rc < 0) return imp_rows_fault(w->run, w->dump);
    }
    /* One stream follows for every LOB slot 0xFFFC, in select order. */
    for (uint32_t m = 0; m < nlob; m++) {
        if (w->rbc[first_lob + m].indp[0] == -1) continue;
        if (w->rbc[ncol + m].indp[0] == -1) {
            fprintf(stderr, "Table %s: no LOB locator returned.\n", TABLE_NAME(table));
            return -1;
        }
        if (insert_lob(w, (int)(ncol + m), held_of(w, m)) < 0) return -1;
    }
    return IMP_ROW_DONE;
}

int imp_insert_long_alone(IMP_WORKER *w, const IMP_TABLE *table, IMP_HELD *h)
{
    if (bind_held_long(w, h) < 0) return -1;
    int r = execute_insert(w, w->row_smthp, 1, 0);
    if (r == IMP_ROW_REFUSED) {
        imp_row_rejected(w, get_ora_message(&w->env));
        return skip_streams(w);
    }
    if (r < 0) return -1;
    if (r == CHECK_NEED_DATA) {
        if (w->long_whole) {
            fprintf(stderr, "Table %s: data asked for a column without a stream.\n", TABLE_NAME(table));
            return -1;
        }
        int lr = insert_long_rest(w, h);
        if (lr < 0) return -1;
        if (lr == IMP_ROW_SKIPPED) return skip_streams(w);
    } else if (!w->long_whole) {
        /* the LONG stream in the file would be left unread */
        fprintf(stderr, "Table %s: LONG value was not asked for.\n", TABLE_NAME(table));
        return -1;
    }
    return IMP_ROW_DONE;
}

int import_single_row(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    int rc;

    for (;;) {
        rc = dump_row_next(w->rows, w->vals);
        if (rc <= 0) break;
        if (stop_requested()) return -1;
        bind_row(w, t->ncol);
        int r = imp_insert_row_alone(w, table);
        if (r < 0) return -1;
        if (r == IMP_ROW_DONE) {
            w->nrow++;
            if (w->feedback) feedback_rows(&w->run->opts.feedback, w->run->ofp, w->nrow - 1, w->nrow);
        }
    }
    if (rc < 0) return imp_rows_fault(w->run, w->dump);
    /* temporary LOBs go before the commit: none is left to it */
    imp_lob_temps_end(w, t);
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
