/*
 * insert_long.c - gives the row's LONG value to its INSERT: in one piece
 * when it fits the worker's LONG buffer, else piece by piece as the reader
 * delivers it (or as a file held it meanwhile) while the INSERT waits for
 * its data.
 */
#include <errno.h>
#include <string.h>

#include "imp_local.h"
#include "dump_fault.h"
#include "table_name.h"

/* Gives one piece of len bytes at bufp; returns the execution's result
 * (CHECK_SUCCESS or CHECK_NEED_DATA), IMP_ROW_REFUSED, or CHECK_FAILURE
 * after a message. */
static int give_piece(IMP_WORKER *w, const uint8_t *bufp, uint32_t len, sb2 *ind)
{
    void *hndl = NULL;
    ub4 type = 0, iter = 0, idx = 0;
    ub1 in_out = 0, piece = OCI_FIRST_PIECE;
    sword st = OCIStmtGetPieceInfo(w->row_smthp, w->env.errhp, &hndl, &type, &in_out, &iter, &idx,
                                   &piece);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtGetPieceInfo()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (len == 0) piece = OCI_LAST_PIECE;
    ub4 alen = len;
    ub2 rcode = 0;
    st = OCIStmtSetPieceInfo(hndl, type, w->env.errhp, bufp, &alen, piece, ind, &rcode);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtSetPieceInfo()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    st = OCIStmtExecute(w->env.svchp, w->row_smthp, w->env.errhp, 1, 0, NULL, NULL, OCI_DEFAULT);
    switch (check_error(&w->env, st)) {
    case CHECK_SUCCESS:
        return CHECK_SUCCESS;
    case CHECK_NEED_DATA:
        return CHECK_NEED_DATA;
    case CHECK_WITH_INFO:
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        return CHECK_SUCCESS;
    default:
        /* the row refused under IGNORE=Y: the caller reports it */
        if ((w->run->flag & IMP_IGNORE) && get_ora_code(&w->env) > 0) return IMP_ROW_REFUSED;
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return CHECK_FAILURE;
    }
}

/* The next piece of the LONG value: what h holds first, then from the
 * dump's stream, or, when staged, from w->long_stage (*left bytes still
 * there, read into buf). 1 with *pc, 0 at the end, -1 after the message. */
static int next_piece(IMP_WORKER *w, IMP_HELD *h, int staged, uint64_t *left, uint8_t *buf, DUMP_PIECE *pc)
{
    if (h && h->state == HELD_PART) {
        if (h->len > 0) {
            pc->p = h->p;
            pc->len = h->len;
            pc->last = 0;
            h->len = 0;
            return 1;
        }
        *pc = h->pending;
        h->state = HELD_NONE;
        return 1;
    }
    if (!staged) {
        int more = dump_stream_next(w->rows, pc);
        return more < 0 ? imp_rows_fault(w->run, w->dump) : more;
    }
    if (*left == 0) return 0;
    size_t n = *left < DUMP_PIECE_SIZE ? (size_t)*left : DUMP_PIECE_SIZE;
    if (fread(buf, 1, n, w->long_stage) != n) {
        fprintf(stderr, "Table %s: LONG value could not be read back.\n", TABLE_NAME(w->table));
        return -1;
    }
    *left -= n;
    pc->p = buf;
    pc->len = (uint32_t)n;
    pc->last = *left == 0;
    return 1;
}

/* Hands the LONG value over: none when !begun (NULL), else the stream's
 * pieces or, when staged, the len bytes held. IMP_ROW_DONE, IMP_ROW_SKIPPED
 * when the target refused the row under IGNORE=Y (reported, the streams
 * of the dump stepped over), or -1. */
static int give_long(IMP_WORKER *w, IMP_HELD *h, int begun, int staged, uint64_t len)
{
    static const uint8_t none[1];
    const TAB_INFO *t = &w->table->info;
    /* The LONG column is the last input bind; its slot said NULL or not. */
    sb2 ind = w->rbc[t->ncol - 1].indp[0] == -1 ? -1 : 0;
    uint8_t buf[DUMP_PIECE_SIZE];

    if (begun == 0) {
        /* A NULL LONG may come without a stream: hand over NULL at once. */
        int r = give_piece(w, NULL, 0, &ind);
        if (r == IMP_ROW_REFUSED) {
            imp_row_rejected(w, get_ora_message(&w->env));
            return IMP_ROW_SKIPPED;
        }
        if (r == CHECK_NEED_DATA)
            fprintf(stderr, "Table %s: LONG value not accepted.\n", TABLE_NAME(w->table));
        return r == CHECK_SUCCESS ? IMP_ROW_DONE : -1;
    }

    for (;;) {
        DUMP_PIECE pc;
        int more = next_piece(w, h, staged, &len, buf, &pc);
        if (more < 0) return -1;
        if (stop_requested()) return -1;
        /* the end word goes as an empty last piece */
        int r = more ? give_piece(w, pc.p, pc.len, &ind) : give_piece(w, none, 0, &ind);
        if (r == IMP_ROW_REFUSED) {
            if (!staged && dump_streams_skip(w->rows) < 0) return imp_rows_fault(w->run, w->dump);
            imp_row_rejected(w, get_ora_message(&w->env));
            return IMP_ROW_SKIPPED;
        }
        if (r < 0) return -1;
        if (!more) {
            if (r == CHECK_NEED_DATA) {
                fprintf(stderr, "Table %s: LONG value not accepted.\n", TABLE_NAME(w->table));
                return -1;
            }
            return IMP_ROW_DONE;
        }
        if (r != CHECK_NEED_DATA) {
            fprintf(stderr, "Table %s: LONG value ended before its stream.\n", TABLE_NAME(w->table));
            return -1;
        }
    }
}

/* IMP_ROW_DONE, IMP_ROW_SKIPPED when the target refused the row under
 * IGNORE=Y (reported, its streams stepped over), or -1. */
int insert_long_piece(IMP_WORKER *w)
{
    int begun = dump_stream_begin(w->rows);
    if (begun < 0) return imp_rows_fault(w->run, w->dump);
    return give_long(w, NULL, begun, 0, 0);
}

/* Binds the LONG column (the last input bind of w->row_smthp) for this
 * row: its value of len bytes in one piece, NULL (buf NULL), or, when
 * !whole, for pieces at execution. */
static int rebind_long(IMP_WORKER *w, int whole, const uint8_t *buf, uint32_t len)
{
    uint32_t k = w->table->info.ncol - 1;
    BIND_COLUMN *b = &w->rbc[k];
    OCIBind *bindp = NULL;
    ub2 sqlt = (ub2)convert_to_sqlt((int)b->ctype);
    b->indp[0] = buf || !whole ? 0 : -1;
    if (!buf) buf = w->long_buf;
    sword st = whole ? OCIBindByPos(w->row_smthp, &bindp, w->env.errhp, k + 1, (void *)buf, (sb4)len, sqlt,
                                    b->indp, NULL, NULL, 0, NULL, OCI_DEFAULT)
                     : OCIBindByPos(w->row_smthp, &bindp, w->env.errhp, k + 1, NULL, 0x7FFFFFFF, sqlt,
                                    b->indp, b->alenp, b->rcodep, 0, NULL, OCI_DATA_AT_EXEC);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIBindByPos()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    w->long_whole = whole;
    return 0;
}

int hold_long_value(IMP_WORKER *w, IMP_HELD *h)
{
    const TAB_INFO *t = &w->table->info;
    int null = w->vals[t->ncol - 1].kind == DUMP_VAL_NULL;
    DUMP_PIECE pc;
    h->state = HELD_NONE;
    h->p = NULL;
    h->len = 0;
    int begun = dump_stream_begin(w->rows);
    if (begun < 0) return imp_rows_fault(w->run, w->dump);
    int more = begun ? dump_stream_next(w->rows, &pc) : 0;
    if (more < 0) return imp_rows_fault(w->run, w->dump);
    if (null || more == 0) {
        /* NULL, with or without its empty stream (an empty LONG is NULL);
         * a NULL slot's stream holds nothing the INSERT could take */
        while (more > 0) more = dump_stream_next(w->rows, &pc);
        if (more < 0) return imp_rows_fault(w->run, w->dump);
        h->state = HELD_WHOLE;
        return 0;
    }
    return imp_hold_stream(w, w->long_buf, w->long_cap, more, &pc, h);
}

int bind_held_long(IMP_WORKER *w, const IMP_HELD *h)
{
    if (h->state == HELD_WHOLE && !h->p) return rebind_long(w, 1, NULL, 0);  /* NULL: its indicator, the buffer unread */
    if (h->state == HELD_WHOLE) return rebind_long(w, 1, h->p, h->len);
    return rebind_long(w, 0, NULL, 0);
}

int bind_long_value(IMP_WORKER *w, IMP_HELD *h)
{
    return hold_long_value(w, h) < 0 ? -1 : bind_held_long(w, h);
}

int insert_long_rest(IMP_WORKER *w, IMP_HELD *h)
{
    return give_long(w, h, 1, 0, 0);
}

int stage_long(IMP_WORKER *w, uint64_t *len)
{
    DUMP_PIECE pc;
    int more;

    *len = 0;
    int begun = dump_stream_begin(w->rows);
    if (begun <= 0) return begun < 0 ? imp_rows_fault(w->run, w->dump) : 0;
    /* an unlinked file of the worker's own, kept for the table's rows */
    if (!w->long_stage && !(w->long_stage = tmpfile())) {
        fprintf(stderr, "Table %s: no file to hold a LONG value: %s\n", TABLE_NAME(w->table),
                strerror(errno));
        return -1;
    }
    rewind(w->long_stage);
    while ((more = dump_stream_next(w->rows, &pc)) > 0) {
        if (stop_requested()) return -1;
        if (fwrite(pc.p, 1, pc.len, w->long_stage) != pc.len) {
            fprintf(stderr, "Table %s: a LONG value could not be held: %s\n", TABLE_NAME(w->table),
                    strerror(errno));
            return -1;
        }
        *len += pc.len;
    }
    if (more < 0) return imp_rows_fault(w->run, w->dump);
    if (fflush(w->long_stage) != 0) {
        fprintf(stderr, "Table %s: a LONG value could not be held: %s\n", TABLE_NAME(w->table),
                strerror(errno));
        return -1;
    }
    return 1;
}

int insert_long_staged(IMP_WORKER *w, int begun, uint64_t len)
{
    if (begun) rewind(w->long_stage);
    return give_long(w, NULL, begun, 1, len);
}
