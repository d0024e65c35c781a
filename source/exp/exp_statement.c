/*
 * exp_statement.c - running the prepared statement of tabexp's one
 * statement handle: execute with the program's messages, and array fetches
 * that also report how many rows arrived.
 */
#include <stdio.h>

#include "exp_local.h"

int execute_statement(ub4 iters)
{
    sword rc = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, iters, 0, NULL, NULL,
                              OCI_DEFAULT);
    int ret = check_error(&g_env, rc);
    if (ret == 1) {
        fprintf(stderr, "%s\n", get_ora_message(&g_env));
    } else if (ret != 0) {
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    return 0;
}

int fetch_rows(ub4 nrows, ub4 *got)
{
    ub4 n = 0, nsz = sizeof(n);
    *got = 0;
    sword rc = OCIStmtFetch(g_env.smthp, g_env.errhp, nrows, OCI_FETCH_NEXT, OCI_DEFAULT);
    int ret = check_error(&g_env, rc);
    if (ret != 0 && ret != 1 && ret != 99 && ret != 100) {
        fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    rc = OCIAttrGet(g_env.smthp, OCI_HTYPE_STMT, &n, &nsz, OCI_ATTR_ROWS_FETCHED, g_env.errhp);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "Rows Fetched - OCIAttrGet()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    /* Never trust a count beyond the buffers the rows went to. */
    *got = n > nrows ? nrows : n;
    return ret;
}
