/*
 * insert_lob.c - writes the LOB stream at the read position into the LOB
 * whose locator the INSERT's RETURNING bind received.
 */
#include "imp_local.h"

static int close_lob(OCILobLocator *lp, int report)
{
    sword st = OCILobClose(g_env.svchp, g_env.errhp, lp);
    if (check_error(&g_env, st) != 0) {
        if (report) fprintf(stderr, "OCILobClose()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    return 0;
}

/* Writes the pieces of a stream that holds at least one byte. The piece
 * after which the end word stands goes as the last (or only) piece, so no
 * empty piece is ever written. */
static int write_pieces(OCILobLocator *lp, ub1 csfrm)
{
    oraub8 b_amt = 0, c_amt = 0;
    int first = 1;

    for (;;) {
        if (stop_requested()) return -1;
        if (imp_need(2) < 0) return -1;
        uint16_t clen = imp_peek16();
        if (clen == MARK_END || clen > DUMP_PIECE_SIZE) return imp_bad_row();
        if (imp_need(2 + clen + 2) < 0) return -1;
        int last = get_be16(g_imp.rbuf + g_imp.rtail + 2 + clen) == MARK_END;
        ub1 piece = last ? (first ? OCI_ONE_PIECE : OCI_LAST_PIECE)
                         : (first ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
        if (first) {
            /* one piece: its length is the amount; a stream: total unknown */
            b_amt = piece == OCI_ONE_PIECE ? clen : 0;
            c_amt = 0;
        }
        sword st = OCILobWrite2(g_env.svchp, g_env.errhp, lp, &b_amt, &c_amt, 1,
                                g_imp.rbuf + g_imp.rtail + 2, clen, piece, NULL, NULL, 0, csfrm);
        int r = check_error(&g_env, st);
        if (r != 0 && r != 99) {
            fprintf(stderr, "OCILobWrite2()\n%s\n", get_ora_message(&g_env));
            return -1;
        }
        if (r != (last ? 0 : 99)) {
            fprintf(stderr, "LOB write out of step with its stream.\n");
            return -1;
        }
        g_imp.rtail += 2 + clen;
        if (last) break;
        first = 0;
    }
    g_imp.rtail += 2; /* the end word */
    return 0;
}

int insert_lob(int bi)
{
    OCILobLocator *lp = (OCILobLocator *)g_imp.bc[bi].valp;
    ub1 csfrm = g_imp.bc[bi].ctype == CTYPE_NCLOB ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    uint16_t w;

    if (imp_take16(&w) < 0) return -1;
    if (w != MARK_STREAM) return imp_bad_row();
    if (imp_need(2) < 0) return -1;
    if (imp_peek16() == MARK_END) {
        /* An empty LOB: the locator already holds one; nothing to write. */
        g_imp.rtail += 2;
        return imp_skip_second_end();
    }

    sword st = OCILobOpen(g_env.svchp, g_env.errhp, lp, OCI_LOB_READWRITE);
    if (check_error(&g_env, st) != 0) {
        fprintf(stderr, "OCILobOpen()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    if (write_pieces(lp, csfrm) < 0) {
        close_lob(lp, 0);
        return -1;
    }
    if (close_lob(lp, 1) < 0) return -1;
    return imp_skip_second_end();
}
