/*
 * disconnect_db.c - ends the session and frees every handle that g_env
 * holds, in the reverse order of the connect. Safe in every state: after a
 * complete or a failed connect, and again after a complete disconnect.
 */
#include <string.h>

#include "util.h"

static void own_report(const char *text)
{
    g_oec = -1;
    strncpy(g_oem, text, ORA_MESSAGE_SIZE - 1);
    g_oem[ORA_MESSAGE_SIZE - 1] = '\0';
}

int disconnect_oracle(void)
{
    sword rc;

    if (g_env.smthp) {
        rc = OCIHandleFree(g_env.smthp, OCI_HTYPE_STMT);
        if (check_error(g_env.errhp, rc) != 0) return -1;
        g_env.smthp = NULL;
    }
    if (g_env.svchp && g_env.errhp && g_env.usrhp) {
        rc = OCISessionEnd(g_env.svchp, g_env.errhp, g_env.usrhp, OCI_DEFAULT);
        if (check_error(g_env.errhp, rc) != 0) return -1;
    }
    if (g_env.usrhp) {
        rc = OCIHandleFree(g_env.usrhp, OCI_HTYPE_SESSION);
        if (check_error(g_env.errhp, rc) != 0) return -1;
        g_env.usrhp = NULL;
    }
    if (g_env.srvhp && g_env.errhp) {
        rc = OCIServerDetach(g_env.srvhp, g_env.errhp, OCI_DEFAULT);
        if (check_error(g_env.errhp, rc) != 0) return -1;
    }
    if (g_env.srvhp) {
        rc = OCIHandleFree(g_env.srvhp, OCI_HTYPE_SERVER);
        if (check_error(g_env.errhp, rc) != 0) return -1;
        g_env.srvhp = NULL;
    }
    if (g_env.svchp) {
        rc = OCIHandleFree(g_env.svchp, OCI_HTYPE_SVCCTX);
        if (check_error(g_env.errhp, rc) != 0) return -1;
        g_env.svchp = NULL;
    }
    if (g_env.errhp) {
        rc = OCIHandleFree(g_env.errhp, OCI_HTYPE_ERROR);
        if (rc != OCI_SUCCESS) {
            own_report("free error handle failed.");
            return -1;
        }
        g_env.errhp = NULL;
    }
    if (g_env.envhp) {
        rc = OCIHandleFree(g_env.envhp, OCI_HTYPE_ENV);
        if (rc != OCI_SUCCESS) {
            own_report("free OCI enviroment handle failed.");
            return -1;
        }
        g_env.envhp = NULL;
    }
    return 0;
}
