/*
 * free_lob_locator.c - frees a table's RETURNING LOB locators and the
 * empty LOB locator after its rows, whether they were loaded or not.
 */
#include "imp_local.h"

static void free_locator(void *lp)
{
    sword st = OCIDescriptorFree(lp, OCI_DTYPE_LOB);
    if (check_error(&g_env, st) != 0)
        fprintf(stderr, "Free LOB Locator - OCIDescriptorFree()\n%s\n", get_ora_message(&g_env));
}

int free_return_lob_locator(int ti)
{
    const TAB_INFO *t = &g_imp.tabp[ti];

    if (g_imp.bc) {
        for (uint32_t k = t->ncol; k < t->ncol + t->nlob; k++) {
            BIND_COLUMN *b = &g_imp.bc[k];
            if (IS_LOB_CTYPE(b->ctype) && b->valp) {
                free_locator(b->valp);
                b->valp = NULL;
            }
        }
    }
    if (g_empty_lobp) {
        free_locator(g_empty_lobp);
        g_empty_lobp = NULL;
    }
    return 0;
}
