/*
 * insert_lob.c - writes the row's next LOB stream, piece by piece as the
 * reader delivers it, into the LOB whose locator the INSERT's RETURNING
 * bind received.
 */
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

/* Writes the pieces of a stream that holds at least one byte, from its
 * first piece *pc on. The piece after which the end word stands goes as
 * the last (or only) piece, so no empty piece is ever written. */
static int write_pieces(IMP_WORKER *w, OCILobLocator *lp, ub1 csfrm, DUMP_PIECE *pc)
{
    oraub8 b_amt = 0, c_amt = 0;
    int first = 1;

    for (;;) {
        if (stop_requested()) return -1;
        ub1 piece = pc->last ? (first ? OCI_ONE_PIECE : OCI_LAST_PIECE)
                             : (first ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
        if (first) {
            /* one piece: its length is the amount; a stream: total unknown */
            b_amt = piece == OCI_ONE_PIECE ? pc->len : 0;
            c_amt = 0;
        }
        sword st = OCILobWrite2(w->env.svchp, w->env.errhp, lp, &b_amt, &c_amt, 1,
                                (void *)pc->p, pc->len, piece, NULL, NULL, 0, csfrm);
        int r = check_error(&w->env, st);
        if (r != CHECK_SUCCESS && r != CHECK_NEED_DATA) {
            fprintf(stderr, "OCILobWrite2()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (r != (pc->last ? CHECK_SUCCESS : CHECK_NEED_DATA)) {
            fprintf(stderr, "LOB write out of step with its stream.\n");
            return -1;
        }
        if (pc->last) return 0;
        first = 0;
        /* not the last: a piece follows */
        if (dump_stream_next(w->rows, pc) <= 0) return imp_rows_fault(w->run, w->dump);
    }
}

int insert_lob(IMP_WORKER *w, int bi)
{
    OCILobLocator *lp = (OCILobLocator *)w->bc[bi].valp;
    ub1 csfrm = w->bc[bi].ctype == CTYPE_NCLOB ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    DUMP_PIECE pc;

    /* each LOB slot with its mark has a stream, as the reader checked */
    if (dump_stream_begin(w->rows) <= 0) return imp_rows_fault(w->run, w->dump);
    int more = dump_stream_next(w->rows, &pc);
    if (more < 0) return imp_rows_fault(w->run, w->dump);
    /* An empty LOB: the locator already holds one; nothing to write. */
    if (more == 0) return 0;

    sword st = OCILobOpen(w->env.svchp, w->env.errhp, lp, OCI_LOB_READWRITE);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCILobOpen()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (write_pieces(w, lp, csfrm, &pc) < 0) {
        close_lob(w, lp, 0);
        return -1;
    }
    if (close_lob(w, lp, 1) < 0) return -1;
    /* the end word, and the second one some writers add */
    if (dump_stream_next(w->rows, &pc) != 0) return imp_rows_fault(w->run, w->dump);
    return 0;
}
