/*
 * single_insert.c - loads the rows of a table with LONG or LOB columns one
 * at a time: the row record, then its LONG stream, then its LOB streams.
 */
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "read_table_info.h"
#include "show_text.h"

/* Decodes the row record at the read position into row 0 of the input
 * binds. A LONG slot may only be 0xFFFB or NULL, a LOB slot only 0xFFFC or
 * NULL; an ordinary slot is NULL or a length that fits its value slot. */
static int decode_row(uint32_t ncol)
{
    for (uint32_t j = 0; j < ncol; j++) {
        BIND_COLUMN *b = &g_imp.bc[j];
        uint16_t w;
        if (imp_take16(&w) < 0) return -1;
        b->indp[0] = 0;
        b->alenp[0] = 0;
        if (w == MARK_NULL) {
            b->indp[0] = -1;
        } else if (b->flag == BIND_LONG) {
            if (w != MARK_LONG) return imp_bad_row();
        } else if (b->flag == BIND_LOB) {
            if (w != MARK_LOB) return imp_bad_row();
            b->alenp[0] = (ub2)sizeof(OCILobLocator *);
        } else {
            if (w > b->vsz) return imp_bad_row();
            if (imp_need(w) < 0) return -1;
            memcpy(b->valp, g_imp.rbuf + g_imp.rtail, w);
            b->alenp[0] = imp_bind_length(b, g_imp.rbuf + g_imp.rtail, w);
            g_imp.rtail += w;
        }
    }
    uint16_t end;
    if (imp_take16(&end) < 0) return -1;
    if (end != MARK_END) return imp_bad_row();
    return 0;
}

/* Steps over the LOB streams of a refused row. */
static int skip_lob_streams(const TAB_INFO *t, uint32_t first_lob)
{
    for (uint32_t m = 0; m < t->nlob; m++) {
        if (g_imp.bc[first_lob + m].indp[0] == -1) continue;
        uint16_t w;
        if (imp_take16(&w) < 0) return -1;
        if (w != MARK_STREAM) return imp_bad_row();
        if (imp_skip_stream_rest() < 0) return -1;
    }
    return 0;
}

/* Inserts the decoded row and consumes its streams: 0, 2 when the target
 * refused the row (IGNORE=Y; reported, its streams stepped over), or -1. */
static int insert_row(const TAB_INFO *t)
{
    uint32_t ncol = t->ncol, nlob = t->nlob;
    uint32_t has_long = (t->flag & TAB_HAS_LONG) != 0;
    uint32_t first_lob = ncol - nlob - has_long;

    for (uint32_t k = ncol; k < ncol + nlob; k++) {
        g_imp.bc[k].indp[0] = -1;
        g_imp.bc[k].alenp[0] = 0;
    }
    int r = execute_insert(1);
    if (r == -3) {
        imp_row_rejected(get_ora_message(&g_env));
        if (has_long) {
            if (imp_need(2) < 0) return -1;
            if (imp_peek16() == MARK_STREAM) {
                g_imp.rtail += 2;
                if (imp_skip_stream_rest() < 0) return -1;
            }
        }
        return skip_lob_streams(t, first_lob) < 0 ? -1 : 2;
    }
    if (r < 0) return -1;
    if (r == 99) {
        if (!has_long) {
            fprintf(stderr, "Table %s: data asked for a column without a stream.\n", TABLE_NAME(t));
            return -1;
        }
        int lr = insert_long_piece();
        if (lr < 0) return -1;
        if (lr == 2) return skip_lob_streams(t, first_lob) < 0 ? -1 : 2;
    } else if (has_long && g_imp.bc[ncol - 1].indp[0] != -1) {
        /* the LONG stream in the file would be left unread */
        fprintf(stderr, "Table %s: LONG value was not asked for.\n", TABLE_NAME(t));
        return -1;
    }
    /* One stream follows for every LOB slot 0xFFFC, in select order. */
    for (uint32_t m = 0; m < nlob; m++) {
        if (g_imp.bc[first_lob + m].indp[0] == -1) continue;
        if (g_imp.bc[ncol + m].indp[0] == -1) {
            fprintf(stderr, "Table %s: no LOB locator returned.\n", TABLE_NAME(t));
            return -1;
        }
        if (insert_lob((int)(ncol + m)) < 0) return -1;
    }
    return 0;
}

int import_single_row(int ti)
{
    const TAB_INFO *t = &g_imp.tabp[ti];
    int row_len = 2;

    for (uint32_t j = 0; j < t->ncol; j++) row_len += (int)g_imp.bc[j].vsz + 2;

    if (imp_need(2) < 0) return -1;
    if (imp_peek16() == MARK_ROWS_END) {
        g_imp.rtail += 2;
    } else {
        for (;;) {
            if (g_imp.rtail + row_len > g_imp.dlen && read_file() < 0) return -1;
            if (stop_requested()) return -1;
            if (decode_row(t->ncol) < 0) return -1;
            int r = insert_row(t);
            if (r < 0) return -1;
            if (r == 0) {
                g_imp.nrow++;
                feedback_rows(&g_run_options.feedback, g_imp.ofp, g_imp.nrow - 1, g_imp.nrow);
            }
            if (g_imp.rtail + row_len > g_imp.dlen && read_file() < 0) return -1;
            if (imp_need(2) < 0) return -1;
            if (imp_peek16() == MARK_ROWS_END) break;
        }
        g_imp.rtail += 2;
        if (stop_requested()) return -1;
        sword st = OCITransCommit(g_env.svchp, g_env.errhp, OCI_DEFAULT);
        if (check_error(&g_env, st) != 0) {
            fprintf(stdout, "OCITransCommit()\n%s\n", get_ora_message(&g_env));
            return -1;
        }
    }
    feedback_end(&g_run_options.feedback, g_imp.ofp);
    imp_table_done_line(TABLE_NAME(t));
    return 0;
}
