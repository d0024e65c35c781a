/*
 * is_target_synonym.c - tells whether a name of the target schema is a
 * synonym. A grant or comment on a synonym acts on the object it stands
 * for, which may belong to any schema, with the rights of the importing
 * user; the importer runs neither on one.
 */
#include <string.h>

#include "imp_local.h"

/* ORA-00942: a database without the view has no synonyms */
#define ORA_NO_VIEW 942

int is_target_synonym(IMP_WORKER *w, const char *name)
{
    static const char sqltxt[] =
        "SELECT SYNONYM_NAME FROM ALL_SYNONYMS WHERE OWNER = :1 AND SYNONYM_NAME = :2";
    char found[STMT_NAME_MAX + 1];
    sb2 ind = 0;
    OCIBind *b1 = NULL, *b2 = NULL;
    OCIDefine *d = NULL;
    sword rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIBindByPos(w->env.smthp, &b1, w->env.errhp, 1, w->run->owner_name,
                      (sb4)strlen(w->run->owner_name) + 1, SQLT_STR, NULL, NULL, NULL, 0, NULL,
                      OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIBindByPos(w->env.smthp, &b2, w->env.errhp, 2, (void *)name, (sb4)strlen(name) + 1,
                      SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIDefineByPos(w->env.smthp, &d, w->env.errhp, 1, found, sizeof(found), SQLT_STR, &ind,
                        NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIStmtExecute(w->env.svchp, w->env.smthp, w->env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) == CHECK_FAILURE) {
        if (get_ora_code(&w->env) == ORA_NO_VIEW) return 0;
        goto fail;
    }
    rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    switch (check_error(&w->env, rc)) {
    case CHECK_NO_DATA:
        return 0;
    case CHECK_SUCCESS:
    case CHECK_WITH_INFO:
        return 1;
    default:
        goto fail;
    }

fail:
    fprintf(stderr, "Look for synonym \"%s\":\n%s\n", name, get_ora_message(&w->env));
    return -1;
}
