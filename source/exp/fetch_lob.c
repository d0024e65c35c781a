/*
 * fetch_lob.c - writes the stream of one LOB value of a fetched row, read
 * through its locator in polling mode straight into the write cache.
 */
#include <stdio.h>

#include "exp_local.h"

/* Reads that bring no byte while more are announced; past this the value
 * is taken to never end. */
#define MAX_EMPTY_READS 64

/* Fails the value; an opened LOB is closed first. */
static int lob_failed(EXP_WORKER *w, OCILobLocator *lobp, int opened)
{
    if (opened) OCILobClose(w->env.svchp, w->env.errhp, lobp);
    return -1;
}

int fetch_lob(EXP_WORKER *w, int di, uint32_t row)
{
    DEFINE_COLUMN *dc = &w->dc[di];
    /* In an array, the row's own locator; its LOB prefetch brought the
     * value's length and, up to LOB_ARRAY_BOUND, its data, so the reads of
     * such a value reach no server and a larger one costs its reads alone:
     * opening and closing it would only add two round trips. A row fetched
     * alone opens its LOB for the reads, as such rows always did. */
    int array = (dc->flag & DEFINE_LOB_ARRAY) != 0;
    OCILobLocator *lobp = array ? ((OCILobLocator **)(void *)dc->valp)[row] : (OCILobLocator *)dc->valp;
    ub1 csfrm = (dc->ctype == CTYPE_NCLOB) ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    ub1 piece = OCI_FIRST_PIECE;
    oraub8 lob_offset = 1;
    int ret, empty = 0;
    sword rc;

    if (!array) {
        rc = OCILobOpen(w->env.svchp, w->env.errhp, lobp, OCI_LOB_READONLY);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCILobOpen()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    }
    if (cache_room(w, EXP_PIECE_ROOM) != 0) return lob_failed(w, lobp, !array);
    cache_put16(w, MARK_STREAM);

    for (;;) {
        oraub8 b_amt = 0, c_amt = 0;
        if (worker_stopped(w)) return lob_failed(w, lobp, !array);  /* reported by the caller */
        if (cache_room(w, EXP_PIECE_ROOM) != 0) return lob_failed(w, lobp, !array);
        rc = OCILobRead2(w->env.svchp, w->env.errhp, lobp, &b_amt, &c_amt, lob_offset,
                         w->cache + w->ctail + 2, DUMP_PIECE_SIZE, piece, NULL, NULL, 0,
                         csfrm);
        ret = check_error(&w->env, rc);
        if (ret == CHECK_NO_DATA) {  /* nothing more to read: the value ends here */
            cache_put16(w, MARK_END);
            break;
        }
        if (ret != CHECK_SUCCESS && ret != CHECK_NEED_DATA) {
            fprintf(stderr, "OCILobRead2()\n%s\n", get_ora_message(&w->env));
            return lob_failed(w, lobp, !array);
        }
        if (b_amt > DUMP_PIECE_SIZE) {
            fprintf(stderr, "LOB piece of %llu bytes larger than its buffer.\n",
                    (unsigned long long)b_amt);
            return lob_failed(w, lobp, !array);
        }
        if (b_amt > 0) {  /* empty pieces are never written */
            cache_put16(w, (uint16_t)b_amt);
            w->ctail += (int)b_amt;
            empty = 0;
        }
        if (ret == CHECK_SUCCESS) {
            cache_put16(w, MARK_END);
            break;
        }
        if (b_amt == 0 && ++empty > MAX_EMPTY_READS) {
            fprintf(stderr, "LOB value does not end: no data in %d reads.\n", empty);
            return lob_failed(w, lobp, !array);
        }
        piece = OCI_NEXT_PIECE;
        lob_offset += (dc->ctype == CTYPE_BLOB) ? b_amt : c_amt;
    }
    if (array) return 0;
    rc = OCILobClose(w->env.svchp, w->env.errhp, lobp);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCILobClose()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return 0;
}
