/*
 * check_error.c - turns the status of every OCI call into 0, 1, 99, 100 or
 * -1 and keeps the code and text of the last reported Oracle error.
 */
#include <string.h>

#include "util.h"

int g_oec = 0;
char g_oem[ORA_MESSAGE_SIZE];

/* Stores a report composed by the program itself (code -1). */
static void set_own_report(const char *text)
{
    g_oec = -1;
    strncpy(g_oem, text, ORA_MESSAGE_SIZE - 1);
    g_oem[ORA_MESSAGE_SIZE - 1] = '\0';
}

/* Reads the first error record of errhp into g_oec/g_oem. The text buffer is
 * offered one byte short and the last byte is forced to NUL, so the text is
 * terminated whatever the library does with an over-long record. */
static void fetch_report(void *errhp)
{
    sb4 code = 0;
    sword rc = OCIErrorGet(errhp, 1, NULL, &code, (OraText *)g_oem,
                           ORA_MESSAGE_SIZE - 1, OCI_HTYPE_ERROR);
    if (rc != OCI_SUCCESS) {
        set_own_report("Retrieve error message failed.");
        return;
    }
    g_oem[ORA_MESSAGE_SIZE - 1] = '\0';
    g_oec = code;
}

int check_error(void *errhp, sword status)
{
    switch (status) {
    case OCI_SUCCESS:
        return 0;
    case OCI_SUCCESS_WITH_INFO:
        fetch_report(errhp);
        return 1;
    case OCI_NEED_DATA:
        return 99;
    case OCI_NO_DATA:
        return 100;
    case OCI_ERROR:
        fetch_report(errhp);
        return -1;
    case OCI_INVALID_HANDLE:
        set_own_report("Error - OCI_INVALID_HANDLE");
        return -1;
    case OCI_STILL_EXECUTING:
        set_own_report("Error - OCI_STILL_EXECUTING");
        return -1;
    case OCI_CONTINUE:
        set_own_report("Error - OCI_CONTINUE");
        return -1;
    default:
        set_own_report("Error - Unknow OCI error");
        return -1;
    }
}

int get_ora_code(void)
{
    return g_oec;
}

char *get_ora_message(void)
{
    return g_oem;
}
