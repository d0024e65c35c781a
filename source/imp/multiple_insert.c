/*
 * multiple_insert.c - loads the rows of a table without LONG or LOB
 * columns: decodes row records into the bind arrays, inserts them in
 * batches of max_row rows and commits once at the end.
 */
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "read_table_info.h"
#include "show_text.h"

/* Inserts the n rows of the batch; 0 or -1. */
static int insert_batch(int n)
{
    if (stop_requested()) return -1;
    int r = execute_insert(n);
    int refused = r >= 2 ? r - 2 : 0;
    if (r < 0 || r == 99) {
        fprintf(stderr, "Insert data error.\n");
        return -1;
    }
    g_imp.nrow += n - refused;
    feedback_rows(&g_run_options.feedback, g_imp.ofp, g_imp.nrow - (n - refused), g_imp.nrow);
    return 0;
}

/* Decodes the row record at the read position into row n of the arrays. */
static int decode_row(uint32_t ncol, int n)
{
    for (uint32_t j = 0; j < ncol; j++) {
        BIND_COLUMN *b = &g_imp.bc[j];
        uint16_t w;
        if (imp_take16(&w) < 0) return -1;
        if (w == MARK_NULL) {
            b->indp[n] = -1;
            b->alenp[n] = 0;
            continue;
        }
        /* Only a length may stand here, and it must fit the value slot. */
        if (w > b->vsz) return imp_bad_row();
        if (imp_need(w) < 0) return -1;
        memcpy(b->valp + (size_t)n * b->vsz, g_imp.rbuf + g_imp.rtail, w);
        b->indp[n] = 0;
        b->alenp[n] = imp_bind_length(b, g_imp.rbuf + g_imp.rtail, w);
        g_imp.rtail += w;
    }
    uint16_t end;
    if (imp_take16(&end) < 0) return -1;
    if (end != MARK_END) return imp_bad_row();
    return 0;
}

int import_multiple_row(int ti)
{
    const TAB_INFO *t = &g_imp.tabp[ti];
    int row_len = 4;
    int n = 0;

    for (uint32_t j = 0; j < t->ncol; j++) row_len += (int)g_imp.bc[j].vsz + 2;

    if (imp_need(2) < 0) return -1;
    if (imp_peek16() != MARK_ROWS_END) {
        for (;;) {
            /* Move the window to the row's start when the row might not be
             * loaded whole, so that a row is never split. */
            if (g_imp.rtail + row_len > g_imp.dlen && read_file() < 0) return -1;
            if (decode_row(t->ncol, n) < 0) return -1;
            if (++n == g_imp.max_row) {
                if (insert_batch(n) < 0) return -1;
                n = 0;
            }
            if (imp_need(2) < 0) return -1;
            if (imp_peek16() == MARK_ROWS_END) break;
        }
        g_imp.rtail += 2;
        if (n > 0 && insert_batch(n) < 0) return -1;
        if (stop_requested()) return -1;
        sword st = OCITransCommit(g_env.svchp, g_env.errhp, OCI_DEFAULT);
        if (check_error(&g_env, st) != 0) {
            fprintf(stdout, "OCITransCommit()\n%s\n", get_ora_message(&g_env));
            return -1;
        }
    } else {
        g_imp.rtail += 2;
    }
    feedback_end(&g_run_options.feedback, g_imp.ofp);
    imp_table_done_line(TABLE_NAME(t));
    return 0;
}
