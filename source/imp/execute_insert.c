/*
 * execute_insert.c - executes a prepared INSERT for the first nrows rows
 * of its bind arrays; under IGNORE=Y an array runs in batch-error mode, so
 * that a row the target refuses is reported and the others still go in.
 */
#include "imp_local.h"

int execute_insert(IMP_WORKER *w, OCIStmt *stmt, int nrows, int batch)
{
    int ignore = (w->run->flag & IMP_IGNORE) != 0;
    sword st = OCIStmtExecute(w->env.svchp, stmt, w->env.errhp, (ub4)nrows, 0, NULL, NULL,
                              batch && ignore ? OCI_BATCH_ERRORS : OCI_DEFAULT);
    switch (check_error(&w->env, st)) {
    case CHECK_SUCCESS:
        return CHECK_SUCCESS;
    case CHECK_NEED_DATA:
        return CHECK_NEED_DATA;
    case CHECK_WITH_INFO:
        /* ORA-24381: some rows of the array were refused; read which */
        if (batch && ignore && get_ora_code(&w->env) == 24381) {
            int r = imp_batch_rejects(w, nrows);
            return r < 0 ? CHECK_FAILURE : IMP_BATCH_REFUSED + r;
        }
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        return CHECK_WITH_INFO;
    default:
        /* A single row refused under IGNORE=Y: the caller reports it. */
        if (ignore && !batch && get_ora_code(&w->env) > 0) return IMP_ROW_REFUSED;
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return CHECK_FAILURE;
    }
}
