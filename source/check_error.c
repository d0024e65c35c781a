/*
 * check_error.c - turns the status of every OCI call into a CHECK_STATUS
 * and keeps the code and text of the last reported Oracle error in the
 * session that made the call.
 */
#include <string.h>

#include "util.h"

void set_own_report(OCI_ENV *env, const char *text)
{
    env->oec = -1;
    strncpy(env->oem, text, ORA_MESSAGE_SIZE - 1);
    env->oem[ORA_MESSAGE_SIZE - 1] = '\0';
}

/* Reads the first error record of the session's error handle. The text
 * buffer is offered one byte short and the last byte is forced to NUL, so
 * the text is terminated whatever the library does with an over-long
 * record. */
static void fetch_report(OCI_ENV *env)
{
    sb4 code = 0;
    sword rc = OCIErrorGet(env->errhp, 1, NULL, &code, (OraText *)env->oem,
                           ORA_MESSAGE_SIZE - 1, OCI_HTYPE_ERROR);
    if (rc != OCI_SUCCESS) {
        set_own_report(env, "Retrieve error message failed.");
        return;
    }
    env->oem[ORA_MESSAGE_SIZE - 1] = '\0';
    env->oec = code;
}

CHECK_STATUS check_error(OCI_ENV *env, sword status)
{
    switch (status) {
    case OCI_SUCCESS:
        return CHECK_SUCCESS;
    case OCI_SUCCESS_WITH_INFO:
        fetch_report(env);
        return CHECK_WITH_INFO;
    case OCI_NEED_DATA:
        return CHECK_NEED_DATA;
    case OCI_NO_DATA:
        return CHECK_NO_DATA;
    case OCI_ERROR:
        fetch_report(env);
        return CHECK_FAILURE;
    case OCI_INVALID_HANDLE:
        set_own_report(env, "Error - OCI_INVALID_HANDLE");
        return CHECK_FAILURE;
    case OCI_STILL_EXECUTING:
        set_own_report(env, "Error - OCI_STILL_EXECUTING");
        return CHECK_FAILURE;
    case OCI_CONTINUE:
        set_own_report(env, "Error - OCI_CONTINUE");
        return CHECK_FAILURE;
    default:
        set_own_report(env, "Error - Unknow OCI error");
        return CHECK_FAILURE;
    }
}

int get_ora_code(const OCI_ENV *env)
{
    return env->oec;
}

const char *get_ora_message(const OCI_ENV *env)
{
    return env->oem;
}

int session_lost(const OCI_ENV *env)
{
    switch (env->oec) {
    case 28:    /* your session has been killed */
    case 1012:  /* not logged on */
    case 1089:  /* immediate shutdown in progress */
    case 1092:  /* instance terminated, disconnection forced */
    case 3113:  /* end-of-file on communication channel */
    case 3114:  /* not connected */
    case 3135:  /* connection lost contact */
        return 1;
    default:
        return 0;
    }
}
