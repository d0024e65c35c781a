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

int is_target_synonym(const char *name)
{
    static const char sqltxt[] =
        "SELECT SYNONYM_NAME FROM ALL_SYNONYMS WHERE OWNER = :1 AND SYNONYM_NAME = :2";
    char found[STMT_NAME_MAX + 1];
    sb2 ind = 0;
    OCIBind *b1 = NULL, *b2 = NULL;
    OCIDefine *d = NULL;
    sword rc = OCIStmtPrepare(g_env.smthp, g_env.errhp, (const OraText *)sqltxt,
                              (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) goto fail;
    rc = OCIBindByPos(g_env.smthp, &b1, g_env.errhp, 1, g_imp.owner_name,
                      (sb4)strlen(g_imp.owner_name) + 1, SQLT_STR, NULL, NULL, NULL, 0, NULL,
                      OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) goto fail;
    rc = OCIBindByPos(g_env.smthp, &b2, g_env.errhp, 2, (void *)name, (sb4)strlen(name) + 1,
                      SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) goto fail;
    rc = OCIDefineByPos(g_env.smthp, &d, g_env.errhp, 1, found, sizeof(found), SQLT_STR, &ind,
                        NULL, NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) goto fail;
    rc = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) < 0) {
        if (get_ora_code(&g_env) == ORA_NO_VIEW) return 0;
        goto fail;
    }
    rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    switch (check_error(&g_env, rc)) {
    case 100:
        return 0;
    case 0:
    case 1:
        return 1;
    default:
        goto fail;
    }

fail:
    fprintf(stderr, "Look for synonym \"%s\":\n%s\n", name, get_ora_message(&g_env));
    return -1;
}
