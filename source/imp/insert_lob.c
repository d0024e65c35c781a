/*
 * insert_lob.c - writes a LOB value of a row that goes in alone, piece by
 * piece as the reader delivers it (after what the row's array slot already
 * held of it), into the LOB whose locator the INSERT's RETURNING bind
 * received, or, for a table whose constraints read a LOB column, into the
 * temporary LOB that the INSERT then binds whole.
 */
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"
#include "dump_fault.h"

static int close_lob(IMP_WORKER *w, OCILobLocator *lp, int report)
{
    sword st = OCILobClose(w->env.svchp, w->env.errhp, lp);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        if (report) fprintf(stderr, "OCILobClose()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return 0;
}

int imp_hold_stream(IMP_WORKER *w, uint8_t *buf, uint32_t cap, int more, DUMP_PIECE *pc, IMP_HELD *h)
{
    h->p = buf;
    h->len = 0;
    while (more > 0) {
        if (pc->len > cap - h->len) {
            h->state = HELD_PART;
            h->pending = *pc;
            return 0;
        }
        memcpy(buf + h->len, pc->p, pc->len);
        h->len += pc->len;
        more = dump_stream_next(w->rows, pc);
    }
    if (more < 0) return imp_rows_fault(w->run, w->dump);
    h->state = HELD_WHOLE;
    return 0;
}

/* The pieces of a LOB value: what h holds first (NULL or HELD_NONE: the
 * row's next stream from its start), then the rest of its stream. */
typedef struct __lob_source {
    IMP_HELD *h;
    int step;
} LOB_SOURCE;

/* The next piece: 1 with *pc, 0 at the value's end (its stream's end word
 * read), -1 after a fault. */
static int next_piece(IMP_WORKER *w, LOB_SOURCE *src, DUMP_PIECE *pc)
{
    IMP_HELD *h = src->h;
    int step = src->step++;
    if (h && h->state == HELD_WHOLE) {
        if (step > 0 || h->len == 0) return 0;
        pc->p = h->p;
        pc->len = h->len;
        pc->last = 1;
        return 1;
    }
    if (h && h->state == HELD_PART && step < 2) {
        if (step == 0 && h->len > 0) {
            pc->p = h->p;
            pc->len = h->len;
            pc->last = 0;
            return 1;
        }
        if (step == 0) src->step++;
        *pc = h->pending;
        return 1;
    }
    if ((!h || h->state == HELD_NONE) && step == 0 && dump_stream_begin(w->rows) <= 0)
        return imp_rows_fault(w->run, w->dump);
    int more = dump_stream_next(w->rows, pc);
    return more < 0 ? imp_rows_fault(w->run, w->dump) : more;
}

/* Gathers the pieces from *pc on into w->lob_gather while they fit, so
 * that one write carries them: *out and *len what to write, *last whether
 * the value ends with it. *pc is then the first piece not gathered (when
 * *pending), else the last one gathered. A value's last piece that comes
 * alone, or any piece when there is no buffer, is written from where it
 * is. 0 or -1. */
static int gather(IMP_WORKER *w, LOB_SOURCE *src, DUMP_PIECE *pc, const uint8_t **out, uint32_t *len,
                  int *last, int *pending)
{
    *out = pc->p;
    *len = pc->len;
    *last = pc->last;
    *pending = 0;
    if (pc->last || pc->len >= IMP_LOB_GATHER) return 0;
    if (!w->lob_gather && !(w->lob_gather = malloc(IMP_LOB_GATHER))) return 0;
    uint32_t n = pc->len;
    memcpy(w->lob_gather, pc->p, n);
    while (!pc->last) {
        int more = next_piece(w, src, pc);
        if (more < 0) return -1;
        if (more == 0) return imp_rows_fault(w->run, w->dump);
        if (pc->len > IMP_LOB_GATHER - n) {
            *pending = 1;
            break;
        }
        memcpy(w->lob_gather + n, pc->p, pc->len);
        n += pc->len;
    }
    *out = w->lob_gather;
    *len = n;
    *last = !*pending && pc->last;
    return 0;
}

/* Writes the value's pieces from its first, *pc, on, gathered into writes
 * of up to IMP_LOB_GATHER bytes. The write after which the value ends goes
 * as the last (or only) piece, so no empty piece is ever written; then the
 * stream's end word is read. */
static int write_pieces(IMP_WORKER *w, OCILobLocator *lp, ub1 csfrm, LOB_SOURCE *src, DUMP_PIECE *pc)
{
    oraub8 b_amt = 0, c_amt = 0;
    int first = 1;

    for (;;) {
        if (stop_requested()) return -1;
        const uint8_t *bufp;
        uint32_t len;
        int last, pending;
        if (gather(w, src, pc, &bufp, &len, &last, &pending) < 0) return -1;
        ub1 piece = last ? (first ? OCI_ONE_PIECE : OCI_LAST_PIECE)
                         : (first ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
        if (first) {
            /* one piece: its length is the amount; a stream: total unknown */
            b_amt = piece == OCI_ONE_PIECE ? len : 0;
            c_amt = 0;
        }
        sword st = OCILobWrite2(w->env.svchp, w->env.errhp, lp, &b_amt, &c_amt, 1,
                                (void *)bufp, len, piece, NULL, NULL, 0, csfrm);
        int r = check_error(&w->env, st);
        if (r != CHECK_SUCCESS && r != CHECK_NEED_DATA) {
            fprintf(stderr, "OCILobWrite2()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (r != (last ? CHECK_SUCCESS : CHECK_NEED_DATA)) {
            fprintf(stderr, "LOB write out of step with its stream.\n");
            return -1;
        }
        first = 0;
        /* the piece that did not fit is the next write's first */
        if (pending) continue;
        int more = next_piece(w, src, pc);
        if (more < 0) return -1;
        /* the last piece is followed by the end (and the second end word some writers add) */
        if (last) return more == 0 ? 0 : imp_rows_fault(w->run, w->dump);
        if (more == 0) return imp_rows_fault(w->run, w->dump);
    }
}

int insert_lob(IMP_WORKER *w, int bi, IMP_HELD *h)
{
    OCILobLocator *lp = (OCILobLocator *)w->rbc[bi].valp;
    ub1 csfrm = w->rbc[bi].ctype == CTYPE_NCLOB ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    LOB_SOURCE src = {h, 0};
    DUMP_PIECE pc;

    /* each LOB slot with its mark has a stream, as the reader checked */
    int more = next_piece(w, &src, &pc);
    if (more < 0) return -1;
    /* An empty LOB: the locator already holds one; nothing to write. */
    if (more == 0) return 0;

    sword st = OCILobOpen(w->env.svchp, w->env.errhp, lp, OCI_LOB_READWRITE);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCILobOpen()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (write_pieces(w, lp, csfrm, &src, &pc) < 0) {
        close_lob(w, lp, 0);
        return -1;
    }
    return close_lob(w, lp, 1);
}

/* ---- LOB values bound whole ----------------------------------------------- */

int imp_whole_lobs(IMP_WORKER *w, const char *name)
{
    /* NOT NULL constraints of LOB columns are listed too: they only cost
     * such a table the temporary LOBs */
    static const char sqltxt[] =
        "SELECT 1 FROM ALL_CONSTRAINTS C, ALL_CONS_COLUMNS K, ALL_TAB_COLUMNS T"
        " WHERE C.OWNER = :1 AND C.TABLE_NAME = :2 AND C.CONSTRAINT_TYPE = 'C'"
        " AND C.STATUS = 'ENABLED' AND K.OWNER = C.OWNER AND K.CONSTRAINT_NAME = C.CONSTRAINT_NAME"
        " AND K.TABLE_NAME = C.TABLE_NAME AND T.OWNER = C.OWNER AND T.TABLE_NAME = C.TABLE_NAME"
        " AND T.COLUMN_NAME = K.COLUMN_NAME AND T.DATA_TYPE IN ('CLOB', 'NCLOB', 'BLOB')";
    OCIBind *b1 = NULL, *b2 = NULL;
    OCIDefine *d = NULL;
    int one = 0;
    sb2 ind = 0;
    /* whatever fails here leaves the safe way: whole values */
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return 1;
    rc = OCIBindByPos(w->env.smthp, &b1, w->env.errhp, 1, w->run->owner_name,
                      (sb4)strlen(w->run->owner_name) + 1, SQLT_STR, NULL, NULL, NULL, 0, NULL,
                      OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return 1;
    rc = OCIBindByPos(w->env.smthp, &b2, w->env.errhp, 2, (void *)name, (sb4)strlen(name) + 1,
                      SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return 1;
    rc = OCIDefineByPos(w->env.smthp, &d, w->env.errhp, 1, &one, sizeof(one), SQLT_INT, &ind, NULL,
                        NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return 1;
    rc = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) == CHECK_FAILURE) return 1;
    rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    return check_error(&w->env, rc) == CHECK_NO_DATA ? 0 : 1;
}

int imp_lob_temps_begin(IMP_WORKER *w, const TAB_INFO *t)
{
    for (uint32_t k = 0; k < t->ncol; k++) {
        BIND_COLUMN *b = &w->rbc[k];
        if (b->flag != BIND_LOB) continue;
        void *lp = NULL;
        sword st = OCIDescriptorAlloc(w->env.envhp, &lp, OCI_DTYPE_LOB, 0, NULL);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stderr, "Lob Locator - OCIDescriptorAlloc\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        b->valp = lp;
        st = OCILobCreateTemporary(w->env.svchp, w->env.errhp, (OCILobLocator *)lp, 0,
                                   b->ctype == CTYPE_NCLOB ? SQLCS_NCHAR : SQLCS_IMPLICIT,
                                   b->ctype == CTYPE_BLOB ? OCI_TEMP_BLOB : OCI_TEMP_CLOB, 0,
                                   OCI_DURATION_SESSION);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stderr, "OCILobCreateTemporary()\n%s\n", get_ora_message(&w->env));
            OCIDescriptorFree(lp, OCI_DTYPE_LOB);
            b->valp = NULL;
            return -1;
        }
    }
    return 0;
}

void imp_lob_temps_end(IMP_WORKER *w, const TAB_INFO *t)
{
    if (!w->rbc || !w->whole_lobs) return;
    for (uint32_t k = 0; k < t->ncol; k++) {
        BIND_COLUMN *b = &w->rbc[k];
        if (b->flag != BIND_LOB || !b->valp || b->valp == (uint8_t *)w->empty_lobp) continue;
        sword st = OCILobFreeTemporary(w->env.svchp, w->env.errhp, (OCILobLocator *)b->valp);
        if (check_error(&w->env, st) != CHECK_SUCCESS)
            fprintf(stderr, "OCILobFreeTemporary()\n%s\n", get_ora_message(&w->env));
        OCIDescriptorFree(b->valp, OCI_DTYPE_LOB);
        b->valp = NULL;
    }
}

int insert_lob_whole(IMP_WORKER *w, int bi, IMP_HELD *h)
{
    OCILobLocator *lp = (OCILobLocator *)w->rbc[bi].valp;
    ub1 csfrm = w->rbc[bi].ctype == CTYPE_NCLOB ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    LOB_SOURCE src = {h, 0};
    DUMP_PIECE pc;

    /* the temporary LOB still holds the last row's value */
    sword st = OCILobTrim2(w->env.svchp, w->env.errhp, lp, 0);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCILobTrim2()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    int more = next_piece(w, &src, &pc);
    if (more < 0) return -1;
    /* an empty stream: an empty LOB, not NULL */
    if (more == 0) return 0;
    return write_pieces(w, lp, csfrm, &src, &pc);
}
