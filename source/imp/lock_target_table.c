/*
 * lock_target_table.c - makes sure that the rows of a table go into a
 * TABLE of the target schema and nowhere else: the name is locked, then
 * the dictionary is asked, in the same transaction, what it stands for
 * (both in one block, one round trip, when the name is what it must be;
 * otherwise step by step again, so that what is reported is what the
 * statement that failed or the dictionary tells).
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

/* Writes name at dst as an SQL text literal (every ' doubled); returns
 * the end. */
static char *put_literal(char *dst, const char *name)
{
    *dst++ = '\'';
    for (; *name; name++) {
        if (*name == '\'') *dst++ = '\'';
        *dst++ = *name;
    }
    *dst++ = '\'';
    return dst;
}

/* The lock and the look-up in one anonymous block, which ends in an
 * error unless the dictionary shows the name as one of `types` (a list of
 * quoted words). 1: locked, and of one of those types; 0: the block
 * failed, whatever the reason, and the caller takes the steps one by one. */
static int lock_if_type(IMP_WORKER *w, const char *name, const char *types)
{
    static const char head[] = "DECLARE T VARCHAR2(30); BEGIN LOCK TABLE ";
    static const char look[] =
        " IN EXCLUSIVE MODE; SELECT NVL(MAX(CASE WHEN OBJECT_TYPE <> 'TABLE' THEN OBJECT_TYPE END),"
        " MAX(OBJECT_TYPE)) INTO T FROM ALL_OBJECTS WHERE OWNER = ";
    static const char types_at[] =
        " AND OBJECT_TYPE IN ('TABLE', 'VIEW', 'SYNONYM', 'MATERIALIZED VIEW');"
        " IF T IS NULL OR T NOT IN (";
    static const char tail[] = ") THEN RAISE_APPLICATION_ERROR(-20000, 'not of its type'); END IF; END;";
    /* each name twice, quoted, every quote in it doubled */
    char sql[sizeof(head) + sizeof(look) + sizeof(types_at) + sizeof(tail) + 8 * STMT_NAME_MAX + 96];

    if (strlen(w->run->owner_name) + strlen(name) > 2 * STMT_NAME_MAX || strlen(types) > 40) return 0;
    char *p = sql;
    memcpy(p, head, sizeof(head) - 1);
    p = imp_put_quoted(p + sizeof(head) - 1, w->run->owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    memcpy(p, look, sizeof(look) - 1);
    p = put_literal(p + sizeof(look) - 1, w->run->owner_name);
    memcpy(p, " AND OBJECT_NAME = ", 19);
    p = put_literal(p + 19, name);
    memcpy(p, types_at, sizeof(types_at) - 1);
    p += sizeof(types_at) - 1;
    memcpy(p, types, strlen(types));
    p += strlen(types);
    memcpy(p, tail, sizeof(tail));
    return imp_try_sql(w, sql, (int)strlen(sql)) == 0;
}

/* Locks name and reads its type; what the dictionary says is in *type.
 * 0; -1 the lock failed (the message in get_ora_message); -2 the look-up
 * failed (rolled back, reported). */
static int lock_then_look(IMP_WORKER *w, const char *name, char *type, size_t size)
{
    if (lock_name(w, name) < 0) return -1;
    if (object_type(w, name, type, size) < 0) {
        fprintf(stderr, "Look up \"%s\":\n%s\n", name, get_ora_message(&w->env));
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        return -2;
    }
    return 0;
}

int lock_target_table(IMP_WORKER *w, const char *name)
{
    char type[32];
    /* The lock holds until the rows are committed or rolled back: nobody
     * can drop the table or put a synonym or view in its place meanwhile. */
    if (lock_if_type(w, name, "'TABLE'")) return 1;
    int rc = lock_then_look(w, name, type, sizeof(type));
    if (rc == -2) return -1;
    if (rc < 0) {
        fprintf(stderr, "%s\nRows of \"%s\" not loaded: it cannot be locked.\n", get_ora_message(&w->env),
                name);
        return 0;
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
    if (lock_if_type(w, name, "'TABLE', 'VIEW'")) return 1;
    int rc = lock_then_look(w, name, type, sizeof(type));
    if (rc == -1) return 0;
    if (rc < 0) return -1;
    if (strcmp(type, "TABLE") == 0 || strcmp(type, "VIEW") == 0) return 1;
    OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
    fprintf(stderr, "\"%s\".\"%s\" is %s%s, not a table or view of the target.\n",
            w->run->owner_name, name, type[0] ? "a " : "", type[0] ? type : "missing");
    return 2;
}
