/*
 * insert_long.c - hands the LONG stream at the read position to the
 * database, piece by piece, while the row's INSERT waits for its data.
 */
#include "imp_local.h"
#include "read_table_info.h"

/* Gives one piece of len bytes at bufp; returns the execution's result
 * (0 or 99) or -1 after a message. */
static int give_piece(const uint8_t *bufp, uint16_t len, sb2 *ind)
{
    void *hndl = NULL;
    ub4 type = 0, iter = 0, idx = 0;
    ub1 in_out = 0, piece = OCI_FIRST_PIECE;
    sword st = OCIStmtGetPieceInfo(g_env.smthp, g_env.errhp, &hndl, &type, &in_out, &iter, &idx,
                                   &piece);
    if (check_error(&g_env, st) != 0) {
        fprintf(stderr, "OCIStmtGetPieceInfo()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    if (len == 0) piece = OCI_LAST_PIECE;
    ub4 alen = len;
    ub2 rcode = 0;
    st = OCIStmtSetPieceInfo(hndl, type, g_env.errhp, bufp, &alen, piece, ind, &rcode);
    if (check_error(&g_env, st) != 0) {
        fprintf(stderr, "OCIStmtSetPieceInfo()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    st = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 1, 0, NULL, NULL, OCI_DEFAULT);
    switch (check_error(&g_env, st)) {
    case 0:
        return 0;
    case 99:
        return 99;
    case 1:
        fprintf(stderr, "%s\n", get_ora_message(&g_env));
        return 0;
    default:
        /* the row refused under IGNORE=Y: the caller reports it */
        if ((g_imp.flag & IMP_IGNORE) && get_ora_code(&g_env) > 0) return -3;
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
}

/* 0, 2 when the target refused the row under IGNORE=Y (reported, its
 * stream stepped over), or -1. */
int insert_long_piece(void)
{
    const TAB_INFO *t = &g_imp.tabp[g_cur_table];
    /* The LONG column is the last input bind; its slot said NULL or not. */
    sb2 ind = g_imp.bc[t->ncol - 1].indp[0] == -1 ? -1 : 0;

    if (imp_need(2) < 0) return -1;
    if (imp_peek16() != MARK_STREAM) {
        /* A NULL LONG may come without a stream: hand over NULL at once. */
        if (ind != -1) return imp_bad_row();
        int r = give_piece(NULL, 0, &ind);
        if (r == -3) {
            imp_row_rejected(get_ora_message(&g_env));
            return 2;
        }
        if (r == 99) fprintf(stderr, "Table %s: LONG value not accepted.\n", TABLE_NAME(t));
        return r == 0 ? 0 : -1;
    }
    g_imp.rtail += 2;

    for (;;) {
        if (imp_need(2) < 0) return -1;
        uint16_t clen = imp_peek16();
        if (clen > DUMP_PIECE_SIZE) return imp_bad_row();
        if (imp_need(2 + clen) < 0) return -1;
        if (stop_requested()) return -1;
        int r = give_piece(g_imp.rbuf + g_imp.rtail + 2, clen, &ind);
        if (r == -3) {
            g_imp.rtail += 2 + clen;
            if ((clen != 0 ? imp_skip_stream_rest() : imp_skip_second_end()) < 0) return -1;
            imp_row_rejected(get_ora_message(&g_env));
            return 2;
        }
        if (r < 0) return -1;
        g_imp.rtail += 2 + clen;
        if (clen == 0) {
            /* the end word went as the empty last piece */
            if (r == 99) {
                fprintf(stderr, "Table %s: LONG value not accepted.\n", TABLE_NAME(t));
                return -1;
            }
            break;
        }
        if (r != 99) {
            fprintf(stderr, "Table %s: LONG value ended before its stream.\n", TABLE_NAME(t));
            return -1;
        }
    }
    return imp_skip_second_end();
}
