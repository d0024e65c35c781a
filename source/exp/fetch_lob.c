/*
 * fetch_lob.c - writes the stream of one LOB value of the current row,
 * read through its locator in polling mode straight into the write cache.
 */
#include <stdio.h>

#include "exp_local.h"

/* Reads that bring no byte while more are announced; past this the value
 * is taken to never end. */
#define MAX_EMPTY_READS 64

static int close_and_fail(OCILobLocator *lobp)
{
    OCILobClose(g_env.svchp, g_env.errhp, lobp);
    return -1;
}

int fetch_lob(int di)
{
    DEFINE_COLUMN *dc = &g_exp.dc[di];
    OCILobLocator *lobp = (OCILobLocator *)dc->valp;
    ub1 csfrm = (dc->ctype == CTYPE_NCLOB) ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    ub1 piece = OCI_FIRST_PIECE;
    oraub8 lob_offset = 1;
    int ret, empty = 0;
    sword rc;

    rc = OCILobOpen(g_env.svchp, g_env.errhp, lobp, OCI_LOB_READONLY);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCILobOpen()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    if (cache_room(EXP_PIECE_ROOM) != 0) return close_and_fail(lobp);
    cache_put16(MARK_STREAM);

    for (;;) {
        oraub8 b_amt = 0, c_amt = 0;
        if (stop_requested()) return close_and_fail(lobp);  /* reported by the caller */
        if (cache_room(EXP_PIECE_ROOM) != 0) return close_and_fail(lobp);
        rc = OCILobRead2(g_env.svchp, g_env.errhp, lobp, &b_amt, &c_amt, lob_offset,
                         g_exp.cache + g_exp.ctail + 2, DUMP_PIECE_SIZE, piece, NULL, NULL, 0,
                         csfrm);
        ret = check_error(&g_env, rc);
        if (ret == 100) {  /* nothing more to read: the value ends here */
            cache_put16(MARK_END);
            break;
        }
        if (ret != 0 && ret != 99) {
            fprintf(stderr, "OCILobRead2()\n%s\n", get_ora_message(&g_env));
            return close_and_fail(lobp);
        }
        if (b_amt > DUMP_PIECE_SIZE) {
            fprintf(stderr, "LOB piece of %llu bytes larger than its buffer.\n",
                    (unsigned long long)b_amt);
            return close_and_fail(lobp);
        }
        if (b_amt > 0) {  /* empty pieces are never written */
            cache_put16((uint16_t)b_amt);
            g_exp.ctail += (int)b_amt;
            empty = 0;
        }
        if (ret == 0) {
            cache_put16(MARK_END);
            break;
        }
        if (b_amt == 0 && ++empty > MAX_EMPTY_READS) {
            fprintf(stderr, "LOB value does not end: no data in %d reads.\n", empty);
            return close_and_fail(lobp);
        }
        piece = OCI_NEXT_PIECE;
        lob_offset += (dc->ctype == CTYPE_BLOB) ? b_amt : c_amt;
    }

    rc = OCILobClose(g_env.svchp, g_env.errhp, lobp);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCILobClose()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    if (write_cache() != 0) return -1;
    return 0;
}
