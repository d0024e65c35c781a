/*
 * fetch_long.c - writes the stream of a row's LONG or LONG RAW value: the
 * client library places each piece straight into the write cache behind
 * the two bytes of its length. A row fetched alone streams its value from
 * the row's own fetch; a row of an array whose value was longer than its
 * piece has it read again, by the row's ROWID, on a statement of its own.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"

/* Pieces in a row that bring no byte while more are announced; past this
 * the value is taken to never end. */
#define MAX_EMPTY_PIECES 64
#define MAX_LONG_BYTES 0x7FFFFFFFull

/* Streams the pieces of the value that the fetch on stmt waits to give,
 * its define dc. slot is the cache offset of the row's LONG slot (-1 when
 * written out), which a NULL reported with a piece turns into NULL. */
static int stream_pieces(EXP_WORKER *w, OCIStmt *stmt, const DEFINE_COLUMN *dc, int slot)
{
    int ret, empty = 0;
    uint64_t total = 0;
    sword rc;

    if (w->ctail + EXP_PIECE_ROOM > w->csz) {
        if (write_cache(w) != 0) return -1;
        slot = -1;
    }
    cache_put16(w, MARK_STREAM);

    do {
        void *hndl = NULL;
        ub4 htype = 0, iter = 0, idx = 0;
        ub1 inout = 0, piece = 0;
        ub4 alen = DUMP_PIECE_SIZE;
        sb2 pind = 0;
        ub2 prcode = 0;

        if (worker_stopped(w)) return -1;  /* a signal: the caller reports it */
        if (w->ctail + EXP_PIECE_ROOM > w->csz) {
            if (write_cache(w) != 0) return -1;
            slot = -1;
        }
        rc = OCIStmtGetPieceInfo(stmt, w->env.errhp, &hndl, &htype, &inout, &iter, &idx, &piece);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIStmtGetPieceInfo()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        rc = OCIStmtSetPieceInfo(hndl, htype, w->env.errhp, w->cache + w->ctail + 2, &alen,
                                 piece, &pind, &prcode);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIStmtSetPieceInfo()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        rc = OCIStmtFetch(stmt, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&w->env, rc);
        if (ret != CHECK_SUCCESS && ret != CHECK_NEED_DATA) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (alen > DUMP_PIECE_SIZE) {
            fprintf(stderr, "LONG piece of %u bytes larger than its buffer.\n", (unsigned)alen);
            return -1;
        }
        /* Only pieces with bytes are written: a stream is its start word,
         * pieces of 1 to 32768 bytes, and its end word. */
        if (alen > 0) {
            cache_put16(w, (uint16_t)alen);
            w->ctail += (int)alen;
            empty = 0;
        } else if (ret == CHECK_NEED_DATA && ++empty > MAX_EMPTY_PIECES) {
            fprintf(stderr, "LONG value does not end: no data in %d pieces.\n", empty);
            return -1;
        }
        total += alen;
        if (total > MAX_LONG_BYTES) {
            fprintf(stderr, "LONG value longer than %llu bytes.\n", MAX_LONG_BYTES);
            return -1;
        }
        /* A NULL reported with the piece goes into the row's slot. */
        if (slot >= 0 && (pind == -1 || (dc && dc->indp[0] == -1))) {
            put_be16(w->cache + slot, MARK_NULL);
            slot = -1;
        }
        if (ret == CHECK_SUCCESS) cache_put16(w, MARK_END);
    } while (ret == CHECK_NEED_DATA);
    return 0;
}

int fetch_long_piece(EXP_WORKER *w)
{
    return stream_pieces(w, w->env.smthp, w->long_dc, w->long_slot);
}

int fetch_long_again(EXP_WORKER *w, uint32_t row)
{
    DEFINE_COLUMN *rd = w->reread_dc;
    const char *rowid = w->rowids + (size_t)row * ROWID_TEXT_SIZE;
    size_t n = strnlen(rowid, ROWID_TEXT_SIZE);
    if (n == 0 || n >= ROWID_TEXT_SIZE) {
        fprintf(stderr, "A row of table \"%s\" came without its ROWID.\n", exp_table_name(w->tab));
        return -1;
    }
    memcpy(w->reread_rowid, rowid, n + 1);
    rd->indp[0] = 0;
    sword rc = OCIStmtExecute(w->env.svchp, w->long_smthp, w->env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    /* Inside the export's snapshot the row is there, with the value whose
     * first piece its fetch brought: it cannot have gone or become NULL. */
    rc = OCIStmtFetch(w->long_smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    int ret = check_error(&w->env, rc);
    if (ret != CHECK_NEED_DATA) {
        if (ret == CHECK_FAILURE) fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
        else fprintf(stderr, "The LONG value of a row of table \"%s\" was not found again.\n",
                     exp_table_name(w->tab));
        return -1;
    }
    if (stream_pieces(w, w->long_smthp, rd, -1) != 0) return -1;
    if (rd->indp[0] == -1) {
        fprintf(stderr, "The LONG value of a row of table \"%s\" was not found again.\n",
                exp_table_name(w->tab));
        return -1;
    }
    return 0;
}
