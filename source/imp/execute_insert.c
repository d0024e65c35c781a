/*
 * execute_insert.c - executes the prepared INSERT for the first nrows rows
 * of the bind arrays.
 */
#include "imp_local.h"

int execute_insert(int nrows)
{
    sword st = OCIStmtExecute(g_env.svchp, g_env.smthp, g_env.errhp, (ub4)nrows, 0, NULL, NULL,
                              OCI_DEFAULT);
    switch (check_error(g_env.errhp, st)) {
    case 0:
        return 0;
    case 99:
        return 99;
    case 1:
        fprintf(stderr, "%s\n", get_ora_message());
        return 1;
    default:
        fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message());
        return -1;
    }
}
