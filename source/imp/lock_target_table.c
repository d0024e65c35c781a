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
static int object_type(IMP_WORKER *w, const char *name, char *type, size_t size)
{
    static const char sqltxt[] =
        "SELECT OBJECT_TYPE FROM ALL_OBJECTS WHERE OWNER = :1 AND OBJECT_NAME = :2"
        " AND OBJECT_TYPE IN ('TABLE', 'VIEW', 'SYNONYM', 'MATERIALIZED VIEW')"
        " ORDER BY CASE OBJECT_TYPE WHEN 'TABLE' THEN 1 ELSE 0 END";
    sb2 ind = 0;
    OCIBind *b1 = NULL, *b2 = NULL;
    OCIDefine *d = NULL;
    type[0] = '\0';
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return -1;
    rc = OCIBindByPos(w->env.smthp, &b1, w->env.errhp, 1, w->run->owner_name,
                      (sb4)strlen(w->run->owner_name) + 1, SQLT_STR, NULL, NULL, NULL, 0, NULL,
                      OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return -1;
    rc = OCIBindByPos(w->env.smthp, &b2, w->env.errhp, 2, (void *)name, (sb4)strlen(name) + 1,
                      SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return -1;
    rc = OCIDefineByPos(w->env.smthp, &d, w->env.errhp, 1, type, (sb4)size, SQLT_STR, &ind, NULL,
                        NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return -1;
    rc = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) == CHECK_FAILURE) return -1;
    rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    switch (check_error(&w->env, rc)) {
    case CHECK_NO_DATA:
        type[0] = '\0';
        return 0;
    case CHECK_SUCCESS:
    case CHECK_WITH_INFO:
        return 0;
    default:
        return -1;
    }
}

/* Locks "OWNER"."name" in exclusive mode; 0, or -1 (nothing locked, the
 * message left in get_ora_message(&w->env)). */
static int lock_name(IMP_WORKER *w, const char *name)
{
    char sql[64 + 4 * STMT_NAME_MAX];
    char *p = sql;

    if (strlen(w->run->owner_name) + strlen(name) > 2 * STMT_NAME_MAX) return -1;
    memcpy(p, "LOCK TABLE ", 11);
    p = imp_put_quoted(p + 11, w->run->owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    strcpy(p, " IN EXCLUSIVE MODE");
    return imp_try_sql(w, sql, (int)strlen(sql));
}

int lock_target_table(IMP_WORKER *w, const char *name)
{
    char type[32];
    /* The lock holds until the rows are committed or rolled back: nobody
     * can drop the table or put a synonym or view in its place meanwhile. */
    if (lock_name(w, name) < 0) {
        fprintf(stderr, "%s\nRows of \"%s\" not loaded: it cannot be locked.\n", get_ora_message(&w->env),
                name);
        return 0;
    }
    if (object_type(w, name, type, sizeof(type)) < 0) {
        fprintf(stderr, "Look up \"%s\":\n%s\n", name, get_ora_message(&w->env));
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        return -1;
    }
    if (strcmp(type, "TABLE") != 0) {
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        fprintf(stderr, "Rows of \"%s\" not loaded: \"%s\".\"%s\" is %s%s, not a table of the target.\n",
                name, w->run->owner_name, name, type[0] ? "a " : "", type[0] ? type : "missing");
        return 0;
    }
    return 1;
}

int lock_target_object(IMP_WORKER *w, const char *name)
{
    char type[32];
    /* Neither a table nor a view (a sequence, a unit): nothing to lock. */
    if (lock_name(w, name) < 0) return 0;
    if (object_type(w, name, type, sizeof(type)) < 0) {
        fprintf(stderr, "Look up \"%s\":\n%s\n", name, get_ora_message(&w->env));
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        return -1;
    }
    if (strcmp(type, "TABLE") == 0 || strcmp(type, "VIEW") == 0) return 1;
    OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
    fprintf(stderr, "\"%s\".\"%s\" is %s%s, not a table or view of the target.\n",
            w->run->owner_name, name, type[0] ? "a " : "", type[0] ? type : "missing");
    return 2;
}
