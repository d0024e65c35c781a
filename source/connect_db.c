/*
 * connect_db.c - opens the one database session of a run: environment,
 * error handle, service context, server, user session and the statement
 * handle on which every statement is prepared in turn.
 */
#include <string.h>

#include "util.h"

/* Stores a report of the program's own (before an error handle exists). */
static void own_report(const char *text)
{
    g_oec = -1;
    strncpy(g_oem, text, ORA_MESSAGE_SIZE - 1);
    g_oem[ORA_MESSAGE_SIZE - 1] = '\0';
}

/* A connect that fails part-way leaves the handles it got in g_env, except
 * a server handle that did not attach and a session handle whose session
 * did not begin: those are freed at once, since ending or detaching them
 * would fail and stop disconnect_oracle before it released the rest. */
int connect_oracle(const char *user, const char *passwd, const char *tns)
{
    sword rc;
    int ret;

    memset(&g_env, 0, sizeof(g_env));

    rc = OCIEnvCreate(&g_env.envhp, OCI_DEFAULT, NULL, NULL, NULL, NULL, 0, NULL);
    if (rc != OCI_SUCCESS) {
        own_report("create OCI enviroment error.");
        return -1;
    }
    rc = OCIHandleAlloc(g_env.envhp, (void **)&g_env.errhp, OCI_HTYPE_ERROR, 0, NULL);
    if (rc != OCI_SUCCESS) {
        own_report("allocate error handle failed.");
        return -1;
    }

    rc = OCIHandleAlloc(g_env.envhp, (void **)&g_env.svchp, OCI_HTYPE_SVCCTX, 0, NULL);
    if (check_error(g_env.errhp, rc) != 0) return -1;
    rc = OCIHandleAlloc(g_env.envhp, (void **)&g_env.srvhp, OCI_HTYPE_SERVER, 0, NULL);
    if (check_error(g_env.errhp, rc) != 0) return -1;

    if (tns == NULL || tns[0] == '\0')
        rc = OCIServerAttach(g_env.srvhp, g_env.errhp, NULL, 0, OCI_DEFAULT);
    else
        rc = OCIServerAttach(g_env.srvhp, g_env.errhp, (const OraText *)tns,
                             (sb4)strlen(tns), OCI_DEFAULT);
    if (check_error(g_env.errhp, rc) != 0) {
        /* Never attached: nothing to detach, so the handle goes now. */
        if (OCIHandleFree(g_env.srvhp, OCI_HTYPE_SERVER) == OCI_SUCCESS) g_env.srvhp = NULL;
        return -1;
    }

    rc = OCIAttrSet(g_env.svchp, OCI_HTYPE_SVCCTX, g_env.srvhp, 0, OCI_ATTR_SERVER,
                    g_env.errhp);
    if (check_error(g_env.errhp, rc) != 0) return -1;

    rc = OCIHandleAlloc(g_env.envhp, (void **)&g_env.usrhp, OCI_HTYPE_SESSION, 0, NULL);
    if (check_error(g_env.errhp, rc) != 0) return -1;
    rc = OCIAttrSet(g_env.usrhp, OCI_HTYPE_SESSION, (void *)user, (ub4)strlen(user),
                    OCI_ATTR_USERNAME, g_env.errhp);
    if (check_error(g_env.errhp, rc) != 0) return -1;
    rc = OCIAttrSet(g_env.usrhp, OCI_HTYPE_SESSION, (void *)passwd, (ub4)strlen(passwd),
                    OCI_ATTR_PASSWORD, g_env.errhp);
    if (check_error(g_env.errhp, rc) != 0) return -1;

    /* Success with information (such as a password about to expire) is a
     * working session; the information stays in g_oem. */
    rc = OCISessionBegin(g_env.svchp, g_env.errhp, g_env.usrhp, OCI_CRED_RDBMS, OCI_DEFAULT);
    ret = check_error(g_env.errhp, rc);
    if (ret != 0 && ret != 1) {
        /* A session handle whose session never began has nothing to end;
         * freed here, it cannot stop disconnect_oracle at the session end
         * before the server and the other handles are released. */
        if (OCIHandleFree(g_env.usrhp, OCI_HTYPE_SESSION) == OCI_SUCCESS) g_env.usrhp = NULL;
        return -1;
    }

    rc = OCIAttrSet(g_env.svchp, OCI_HTYPE_SVCCTX, g_env.usrhp, 0, OCI_ATTR_SESSION,
                    g_env.errhp);
    if (check_error(g_env.errhp, rc) != 0) return -1;

    rc = OCIHandleAlloc(g_env.envhp, (void **)&g_env.smthp, OCI_HTYPE_STMT, 0, NULL);
    if (check_error(g_env.errhp, rc) != 0) return -1;
    return 0;
}
