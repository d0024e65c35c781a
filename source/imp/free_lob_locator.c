/*
 * free_lob_locator.c - frees a table's RETURNING LOB locators (or its
 * temporary LOBs and the file that held its LONG values), the empty LOB
 * locator and the statement of the rows that go in alone after its rows,
 * whether they were loaded or not.
 */
#include "imp_local.h"

static void free_locator(IMP_WORKER *w, void *lp)
{
    sword st = OCIDescriptorFree(lp, OCI_DTYPE_LOB);
    if (check_error(&w->env, st) != CHECK_SUCCESS)
        fprintf(stderr, "Free LOB Locator - OCIDescriptorFree()\n%s\n", get_ora_message(&w->env));
}

int free_return_lob_locator(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;

    imp_lob_temps_end(w, t);
    if (w->long_stage) {
        fclose(w->long_stage);
        w->long_stage = NULL;
    }
    if (w->rbc && !w->whole_lobs) {
        for (uint32_t k = t->ncol; k < t->ncol + t->nlob; k++) {
            BIND_COLUMN *b = &w->rbc[k];
            if (IS_LOB_CTYPE(b->ctype) && b->valp) {
                free_locator(w, b->valp);
                b->valp = NULL;
            }
        }
    }
    if (w->empty_lobp) {
        free_locator(w, w->empty_lobp);
        w->empty_lobp = NULL;
    }
    imp_variants_end(w);
    if (w->row_smthp && w->row_smthp != w->env.smthp) OCIHandleFree(w->row_smthp, OCI_HTYPE_STMT);
    w->row_smthp = NULL;
    w->rbc = NULL;
    w->held = NULL;
    w->lob_arrays = 0;
    w->long_arrays = 0;
    return 0;
}
