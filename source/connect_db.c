/*
 * connect_db.c - opens the one database session of a run: environment,
 * error handle, service context, server, user session and the statement
 * handle on which every statement is prepared in turn.
 */
#include <string.h>

#include "util.h"

/* A connect that fails part-way leaves the handles it got in env, except
 * a server handle that did not attach and a session handle whose session
 * did not begin: those are freed at once, since ending or detaching them
 * would fail and stop disconnect_oracle before it released the rest. */
int connect_oracle(OCI_ENV *env, const char *user, const char *passwd, const char *tns)
{
    sword rc;
    int ret;

    int mode = env->mode;  /* OCI_THREADED when the run has worker threads */
    TRIP_TOTAL *total = env->meter.total;  /* METRICS=Y */

    memset(env, 0, sizeof(*env));
    env->mode = mode;
    env->meter.total = total;
    rc = OCIEnvCreate(&env->envhp, (ub4)mode, NULL, NULL, NULL, NULL, 0, NULL);
    if (rc != OCI_SUCCESS) {
        set_own_report(env, "create OCI enviroment error.");
        return -1;
    }
    rc = OCIHandleAlloc(env->envhp, (void **)&env->errhp, OCI_HTYPE_ERROR, 0, NULL);
    if (rc != OCI_SUCCESS) {
        set_own_report(env, "allocate error handle failed.");
        return -1;
    }

    rc = OCIHandleAlloc(env->envhp, (void **)&env->svchp, OCI_HTYPE_SVCCTX, 0, NULL);
    if (check_error(env, rc) != 0) return -1;
    rc = OCIHandleAlloc(env->envhp, (void **)&env->srvhp, OCI_HTYPE_SERVER, 0, NULL);
    if (check_error(env, rc) != 0) return -1;

    if (tns == NULL || tns[0] == '\0')
        rc = OCIServerAttach(env->srvhp, env->errhp, NULL, 0, OCI_DEFAULT);
    else
        rc = OCIServerAttach(env->srvhp, env->errhp, (const OraText *)tns,
                             (sb4)strlen(tns), OCI_DEFAULT);
    if (check_error(env, rc) != 0) {
        /* Never attached: nothing to detach, so the handle goes now. */
        if (OCIHandleFree(env->srvhp, OCI_HTYPE_SERVER) == OCI_SUCCESS) env->srvhp = NULL;
        return -1;
    }

    rc = OCIAttrSet(env->svchp, OCI_HTYPE_SVCCTX, env->srvhp, 0, OCI_ATTR_SERVER,
                    env->errhp);
    if (check_error(env, rc) != 0) return -1;

    rc = OCIHandleAlloc(env->envhp, (void **)&env->usrhp, OCI_HTYPE_SESSION, 0, NULL);
    if (check_error(env, rc) != 0) return -1;
    rc = OCIAttrSet(env->usrhp, OCI_HTYPE_SESSION, (void *)user, (ub4)strlen(user),
                    OCI_ATTR_USERNAME, env->errhp);
    if (check_error(env, rc) != 0) return -1;
    rc = OCIAttrSet(env->usrhp, OCI_HTYPE_SESSION, (void *)passwd, (ub4)strlen(passwd),
                    OCI_ATTR_PASSWORD, env->errhp);
    if (check_error(env, rc) != 0) return -1;

    /* Success with information (such as a password about to expire) is a
     * working session; the information stays in env->oem. */
    rc = OCISessionBegin(env->svchp, env->errhp, env->usrhp, OCI_CRED_RDBMS, OCI_DEFAULT);
    ret = check_error(env, rc);
    if (ret != CHECK_SUCCESS && ret != CHECK_WITH_INFO) {
        /* A session handle whose session never began has nothing to end;
         * freed here, it cannot stop disconnect_oracle at the session end
         * before the server and the other handles are released. */
        if (OCIHandleFree(env->usrhp, OCI_HTYPE_SESSION) == OCI_SUCCESS) env->usrhp = NULL;
        return -1;
    }

    rc = OCIAttrSet(env->svchp, OCI_HTYPE_SVCCTX, env->usrhp, 0, OCI_ATTR_SESSION,
                    env->errhp);
    if (check_error(env, rc) != 0) return -1;

    rc = OCIHandleAlloc(env->envhp, (void **)&env->smthp, OCI_HTYPE_STMT, 0, NULL);
    if (check_error(env, rc) != 0) return -1;
    return 0;
}
