/*
 * free_lob_locator.c - frees what a table's query holds beyond the row
 * area after its rows, whether the rows were written or not: the LOB
 * locators of its CLOB, NCLOB and BLOB columns (one, or one per row of
 * the array) and the statement that reads LONG values again.
 */
#include <stdio.h>

#include "exp_local.h"

static void free_locator(EXP_WORKER *w, void *lp)
{
    sword rc = OCIDescriptorFree(lp, OCI_DTYPE_LOB);
    if (check_error(&w->env, rc) != CHECK_SUCCESS)
        fprintf(stderr, "Free LOB Locator - OCIDescriptorFree()\n%s\n", get_ora_message(&w->env));
}

int free_lob_locator(EXP_WORKER *w, EXP_TABLE *tab)
{
    for (uint32_t c = 0; w->dc && c < tab->info.ncol; c++) {
        DEFINE_COLUMN *dc = &w->dc[c];
        if (!IS_LOB_CTYPE(dc->ctype) || dc->valp == NULL) continue;
        if (dc->flag & DEFINE_LOB_ARRAY) {
            OCILobLocator **locs = (OCILobLocator **)(void *)dc->valp;
            for (int r = 0; r < w->max_row; r++) {
                if (locs[r]) free_locator(w, locs[r]);
                locs[r] = NULL;
            }
        } else {
            free_locator(w, dc->valp);
        }
        dc->valp = NULL;  /* never freed twice */
    }
    if (w->long_smthp) {
        OCIHandleFree(w->long_smthp, OCI_HTYPE_STMT);
        w->long_smthp = NULL;
    }
    w->rowids = NULL;
    w->reread_rowid = NULL;
    w->reread_dc = NULL;
    return 0;
}
