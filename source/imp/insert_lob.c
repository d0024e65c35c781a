/*
 * insert_lob.c - writes the LOB stream at the read position into the LOB
 * whose locator the INSERT's RETURNING bind received.
 */
#include "imp_local.h"

static int close_lob(IMP_WORKER *w, OCILobLocator *lp, int report)
{
    sword st = OCILobClose(w->env.svchp, w->env.errhp, lp);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        if (report) fprintf(stderr, "OCILobClose()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return 0;
}

/* Writes the pieces of a stream that holds at least one byte. The piece
 * after which the end word stands goes as the last (or only) piece, so no
 * empty piece is ever written. */
static int write_pieces(IMP_WORKER *w, OCILobLocator *lp, ub1 csfrm)
{
    oraub8 b_amt = 0, c_amt = 0;
    int first = 1;

    for (;;) {
        if (stop_requested()) return -1;
        if (imp_need(w, 2) < 0) return -1;
        uint16_t clen = imp_peek16(w);
        if (clen == MARK_END || clen > DUMP_PIECE_SIZE) return imp_bad_row();
        if (imp_need(w, 2 + clen + 2) < 0) return -1;
        assert(w->rtail + 2 + clen + 2 <= w->dlen);
        int last = get_be16(w->rbuf + w->rtail + 2 + clen) == MARK_END;
        ub1 piece = last ? (first ? OCI_ONE_PIECE : OCI_LAST_PIECE)
                         : (first ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
        if (first) {
            /* one piece: its length is the amount; a stream: total unknown */
            b_amt = piece == OCI_ONE_PIECE ? clen : 0;
            c_amt = 0;
        }
        sword st = OCILobWrite2(w->env.svchp, w->env.errhp, lp, &b_amt, &c_amt, 1,
                                w->rbuf + w->rtail + 2, clen, piece, NULL, NULL, 0, csfrm);
        int r = check_error(&w->env, st);
        if (r != CHECK_SUCCESS && r != CHECK_NEED_DATA) {
            fprintf(stderr, "OCILobWrite2()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (r != (last ? CHECK_SUCCESS : CHECK_NEED_DATA)) {
            fprintf(stderr, "LOB write out of step with its stream.\n");
            return -1;
        }
        w->rtail += 2 + clen;
        if (last) break;
        first = 0;
    }
    w->rtail += 2; /* the end word */
    return 0;
}

int insert_lob(IMP_WORKER *w, int bi)
{
    OCILobLocator *lp = (OCILobLocator *)w->bc[bi].valp;
    ub1 csfrm = w->bc[bi].ctype == CTYPE_NCLOB ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    uint16_t word;

    if (imp_take16(w, &word) < 0) return -1;
    if (word != MARK_STREAM) return imp_bad_row();
    if (imp_need(w, 2) < 0) return -1;
    if (imp_peek16(w) == MARK_END) {
        /* An empty LOB: the locator already holds one; nothing to write. */
        w->rtail += 2;
        return imp_skip_second_end(w);
    }

    sword st = OCILobOpen(w->env.svchp, w->env.errhp, lp, OCI_LOB_READWRITE);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCILobOpen()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (write_pieces(w, lp, csfrm) < 0) {
        close_lob(w, lp, 0);
        return -1;
    }
    if (close_lob(w, lp, 1) < 0) return -1;
    return imp_skip_second_end(w);
}
