/*
 * free_lob_locator.c - frees the LOB locators of a table's CLOB, NCLOB and
 * BLOB columns after its rows, whether the rows were written or not.
 */
#include <stdio.h>

#include "exp_local.h"

int free_lob_locator(EXP_WORKER *w, EXP_TABLE *tab)
{
    for (uint32_t c = 0; c < tab->info.ncol; c++) {
        DEFINE_COLUMN *dc = &w->dc[c];
        if (!IS_LOB_CTYPE(dc->ctype) || dc->valp == NULL) continue;
        sword rc = OCIDescriptorFree(dc->valp, OCI_DTYPE_LOB);
        if (check_error(&w->env, rc) != CHECK_SUCCESS)
            fprintf(stderr, "Free LOB Locator - OCIDescriptorFree()\n%s\n", get_ora_message(&w->env));
        dc->valp = NULL;  /* never freed twice */
    }
    return 0;
}
