/*
 * disconnect_db.c - ends the session and frees every handle that env
 * holds, in the reverse order of the connect. Safe in every state: after a
 * complete or a failed connect, and again after a complete disconnect.
 */
#include <string.h>

#include "util.h"

int disconnect_oracle(OCI_ENV *env)
{
    sword rc;

    metrics_session_end(env);
    if (env->smthp) {
        rc = OCIHandleFree(env->smthp, OCI_HTYPE_STMT);
        if (check_error(env, rc) != 0) return -1;
        env->smthp = NULL;
    }
    if (env->svchp && env->errhp && env->usrhp) {
        rc = OCISessionEnd(env->svchp, env->errhp, env->usrhp, OCI_DEFAULT);
        if (check_error(env, rc) != 0) return -1;
    }
    if (env->usrhp) {
        rc = OCIHandleFree(env->usrhp, OCI_HTYPE_SESSION);
        if (check_error(env, rc) != 0) return -1;
        env->usrhp = NULL;
    }
    if (env->srvhp && env->errhp) {
        rc = OCIServerDetach(env->srvhp, env->errhp, OCI_DEFAULT);
        if (check_error(env, rc) != 0) return -1;
    }
    if (env->srvhp) {
        rc = OCIHandleFree(env->srvhp, OCI_HTYPE_SERVER);
        if (check_error(env, rc) != 0) return -1;
        env->srvhp = NULL;
    }
    if (env->svchp) {
        rc = OCIHandleFree(env->svchp, OCI_HTYPE_SVCCTX);
        if (check_error(env, rc) != 0) return -1;
        env->svchp = NULL;
    }
    if (env->errhp) {
        rc = OCIHandleFree(env->errhp, OCI_HTYPE_ERROR);
        if (rc != OCI_SUCCESS) {
            set_own_report(env, "free error handle failed.");
            return -1;
        }
        env->errhp = NULL;
    }
    if (env->envhp) {
        rc = OCIHandleFree(env->envhp, OCI_HTYPE_ENV);
        if (rc != OCI_SUCCESS) {
            set_own_report(env, "free OCI enviroment handle failed.");
            return -1;
        }
        env->envhp = NULL;
    }
    return 0;
}
