/*
 * lock_target_table.c - makes sure that the rows of a table go into a
 * TABLE of the target schema and nowhere else: the name is locked, then
 * the dictionary is asked, in the same transaction, what it stands for.
 */
#include <string.h>

#include "imp_local.h"
#include "create_table.h"
#include "lock_target_table.h"
#include "quote_name.h"

/* What the dictionary shows under owner.name; "" when nothing. Anything
 * besides a table under the name (a materialized view's container table
 * has one) comes first, so that it is what the caller sees. 0 or -1. */
static int object_type(const char *name, char *type, size_t size)
{
    static const char sqltxt[] =
        "SELECT OBJECT_TYPE FROM ALL_OBJECTS WHERE OWNER = :1 AND OBJECT_NAME = :2"
        " AND OBJECT_TYPE IN ('TABLE', 'VIEW', 'SYNONYM', 'MATERIALIZED VIEW')"
        " ORDER BY CASE OBJECT_TYPE WHEN 'TABLE' THEN 1 ELSE 0 END";
    sb2 ind = 0;
    OCIBind *b1 = NULL, *b2 = NULL;
    OCIDefine *d = NULL;
    type[0] = '\0';
    sword rc = OCIStmtPrepare(g_env.smthp, g_env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) return -1;
    rc = OCIBindByPos(g_env.smthp, &b1, g_env.errhp, 1, g_imp.owner_name,
                      (sb4)strlen(g_imp.owner_name) + 1, SQLT_STR, NULL, NULL, NULL, 0, NULL,
                      OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) return -1;
    rc = OCIBindByPos(g_env.smthp, &b2, g_env.errhp, 2, (void *)name, (sb4)strlen(name) + 1,
                      SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) return -1;
    rc = OCIDefineByPos(g_env.smthp, &d, g_env.errhp, 1, type, (sb4)size, SQLT_STR, &ind, NULL,
                        NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) return -1;
    rc = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) < 0) return -1;
    rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    switch (check_error(&g_env, rc)) {
    case 100:
        type[0] = '\0';
        return 0;
    case 0:
    case 1:
        return 0;
    default:
        return -1;
    }
}

/* Locks "OWNER"."name" in exclusive mode; 0, or -1 (nothing locked, the
 * message left in get_ora_message(&g_env)). */
static int lock_name(const char *name)
{
    char sql[64 + 4 * STMT_NAME_MAX];
    char *p = sql;

    if (strlen(g_imp.owner_name) + strlen(name) > 2 * STMT_NAME_MAX) return -1;
    memcpy(p, "LOCK TABLE ", 11);
    p = imp_put_quoted(p + 11, g_imp.owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    strcpy(p, " IN EXCLUSIVE MODE");
    return imp_try_sql(sql, (int)strlen(sql));
}

int lock_target_table(const char *name)
{
    char type[32];
    /* The lock holds until the rows are committed or rolled back: nobody
     * can drop the table or put a synonym or view in its place meanwhile. */
    if (lock_name(name) < 0) {
        fprintf(stderr, "%s\nRows of \"%s\" not loaded: it cannot be locked.\n", get_ora_message(&g_env),
                name);
        return 0;
    }
    if (object_type(name, type, sizeof(type)) < 0) {
        fprintf(stderr, "Look up \"%s\":\n%s\n", name, get_ora_message(&g_env));
        OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
        return -1;
    }
    if (strcmp(type, "TABLE") != 0) {
        OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
        fprintf(stderr, "Rows of \"%s\" not loaded: \"%s\".\"%s\" is %s%s, not a table of the target.\n",
                name, g_imp.owner_name, name, type[0] ? "a " : "", type[0] ? type : "missing");
        return 0;
    }
    return 1;
}

int lock_target_object(const char *name)
{
    char type[32];
    /* Neither a table nor a view (a sequence, a unit): nothing to lock. */
    if (lock_name(name) < 0) return 0;
    if (object_type(name, type, sizeof(type)) < 0) {
        fprintf(stderr, "Look up \"%s\":\n%s\n", name, get_ora_message(&g_env));
        OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
        return -1;
    }
    if (strcmp(type, "TABLE") == 0 || strcmp(type, "VIEW") == 0) return 1;
    OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
    fprintf(stderr, "\"%s\".\"%s\" is %s%s, not a table or view of the target.\n",
            g_imp.owner_name, name, type[0] ? "a " : "", type[0] ? type : "missing");
    return 2;
}
