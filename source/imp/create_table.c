/*
 * create_table.c - runs a table's CREATE TABLE statement straight from the
 * read window (its failure is reported by the caller, which knows whether
 * it only says that the table exists), and the runner that every DDL
 * statement of tabimp goes through.
 */
#include "imp_local.h"

/* 0, -1 (prepare failed) or -2 (execute failed), nothing printed. */
static int try_sql(const char *txt, int len)
{
    sword st = OCIStmtPrepare(g_env.smthp, g_env.errhp, (const OraText *)txt, (ub4)len,
                              OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(g_env.errhp, st) != 0) return -1;
    st = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 1, 0, NULL, NULL, OCI_DEFAULT);
    switch (check_error(g_env.errhp, st)) {
    case 0:
        return 0;
    case 1:
        fprintf(stderr, "%s\n", get_ora_message());
        return 0;
    default:
        return -2;
    }
}

int imp_try_sql(const char *txt, int len)
{
    return try_sql(txt, len) == 0 ? 0 : -1;
}

int imp_run_sql(const char *txt, int len)
{
    int rc = try_sql(txt, len);
    if (rc == 0) return 0;
    fprintf(stderr, "%s\n%s\n", rc == -1 ? "OCIStmtPrepare()" : "OCIStmtExecute()",
            get_ora_message());
    return -1;
}

int create_table(const char *sqltxt, int slen)
{
    return imp_try_sql(sqltxt, slen);
}
