/*
 * create_table.c - runs a table's CREATE TABLE statement straight from the
 * read window (its failure is reported by the caller, which knows whether
 * it only says that the table exists), and the runner that every DDL
 * statement of tabimp goes through.
 */
#include "imp_local.h"
#include "create_table.h"

/* 0, -1 (prepare failed) or -2 (execute failed), nothing printed. */
static int try_sql(IMP_WORKER *w, const char *txt, int len)
{
    sword st = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)txt, (ub4)len,
                              OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, st) != CHECK_SUCCESS) return -1;
    st = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, 1, 0, NULL, NULL, OCI_DEFAULT);
    switch (check_error(&w->env, st)) {
    case CHECK_SUCCESS:
        return 0;
    case CHECK_WITH_INFO:
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        return 0;
    default:
        return -2;
    }
}

int imp_try_sql(IMP_WORKER *w, const char *txt, int len)
{
    return try_sql(w, txt, len) == 0 ? 0 : -1;
}

int imp_run_sql(IMP_WORKER *w, const char *txt, int len)
{
    int rc = try_sql(w, txt, len);
    if (rc == 0) return 0;
    fprintf(stderr, "%s\n%s\n", rc == -1 ? "OCIStmtPrepare()" : "OCIStmtExecute()",
            get_ora_message(&w->env));
    return -1;
}

int create_table(IMP_WORKER *w, const char *sqltxt, int slen)
{
    return imp_try_sql(w, sqltxt, slen);
}
