/*
 * create_table.c - runs a table's CREATE TABLE statement straight from the
 * read window (its failure is reported by the caller, which knows whether
 * it only says that the table exists), and the runner that every DDL
 * statement of tabimp goes through.
 */
#include <stdlib.h>

#include "imp_local.h"
#include "create_table.h"
#include "read_table_info.h"
#include "outcome.h"

/* 0, -1 (prepare failed) or -2 (execute failed), nothing printed. */
static int try_sql(const char *txt, int len)
{
    sword st = OCIStmtPrepare(g_env.smthp, g_env.errhp, (const OraText *)txt, (ub4)len,
                              OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&g_env, st) != 0) return -1;
    st = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 1, 0, NULL, NULL, OCI_DEFAULT);
    switch (check_error(&g_env, st)) {
    case 0:
        return 0;
    case 1:
        fprintf(stderr, "%s\n", get_ora_message(&g_env));
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
            get_ora_message(&g_env));
    return -1;
}

int create_table(const char *sqltxt, int slen)
{
    char *merged = NULL;
    int mlen = 0;
    int dropped = g_partition_merge ? drop_partitioning(sqltxt, slen, &merged, &mlen) : 0;
    if (dropped <= 0) return dropped < 0 ? -1 : imp_try_sql(sqltxt, slen);
    fprintf(stderr, "Table \"%s\": partitions merged into one table (PARTITION_OPTIONS=MERGE).\n",
            g_cur_table >= 0 ? imp_table_name(g_cur_table) : "");
    run_warning();
    int rc = imp_try_sql(merged, mlen);
    free(merged);
    return rc;
}
