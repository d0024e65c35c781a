/*
 * exp_statement.c - running the prepared statement of tabexp's one
 * statement handle: execute with the program's messages, and array fetches
 * that also report how many rows arrived.
 */
#include <stdio.h>

#include "exp_local.h"

int execute_statement(EXP_WORKER *w, ub4 iters)
{
    sword rc = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, iters, 0, NULL, NULL,
                              OCI_DEFAULT);
    CHECK_STATUS ret = check_error(&w->env, rc);
    if (ret == CHECK_WITH_INFO) {
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
    } else if (ret != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return 0;
}

int fetch_rows(EXP_WORKER *w, ub4 nrows, ub4 *got)
{
    ub4 n = 0, nsz = sizeof(n);
    *got = 0;
    sword rc = OCIStmtFetch(w->env.smthp, w->env.errhp, nrows, OCI_FETCH_NEXT, OCI_DEFAULT);
    CHECK_STATUS ret = check_error(&w->env, rc);
    if (ret == CHECK_FAILURE) {
        fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    rc = OCIAttrGet(w->env.smthp, OCI_HTYPE_STMT, &n, &nsz, OCI_ATTR_ROWS_FETCHED, w->env.errhp);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "Rows Fetched - OCIAttrGet()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    /* Never trust a count beyond the buffers the rows went to. */
    *got = n > nrows ? nrows : n;
    return ret;
}
