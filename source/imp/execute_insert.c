/*
 * execute_insert.c - executes the prepared INSERT for the first nrows rows
 * of the bind arrays; under IGNORE=Y an array runs in batch-error mode, so
 * that a row the target refuses is reported and the others still go in.
 */
#include "imp_local.h"

/* Returns 0, 1 (success with a message), 99 (a piece is wanted), 2 + M
 * when M rows of the array were refused in batch-error mode, -3 when the
 * single row of a LONG or LOB table was refused under IGNORE=Y, or -1. */
int execute_insert(int nrows)
{
    const TAB_INFO *t = g_cur_table >= 0 ? &g_imp.tabp[g_cur_table] : NULL;
    int batch = (g_imp.flag & IMP_IGNORE) && t && t->flag == 0;
    sword st = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, (ub4)nrows, 0, NULL, NULL,
                              batch ? OCI_BATCH_ERRORS : OCI_DEFAULT);
    switch (check_error(&g_env, st)) {
    case 0:
        return 0;
    case 99:
        return 99;
    case 1:
        /* ORA-24381: some rows of the array were refused; read which */
        if (batch && get_ora_code(&g_env) == 24381) {
            int r = imp_batch_rejects(nrows);
            return r < 0 ? -1 : 2 + r;
        }
        fprintf(stderr, "%s\n", get_ora_message(&g_env));
        return 1;
    default:
        /* A single row refused under IGNORE=Y: the caller reports it. */
        if ((g_imp.flag & IMP_IGNORE) && t && t->flag != 0 && get_ora_code(&g_env) > 0) return -3;
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
}
