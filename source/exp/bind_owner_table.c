/*
 * bind_owner_table.c - binds the exported owner and one table's name to the
 * placeholders :1 and :2 of the prepared statement, so that the queries run
 * for every table keep one text and the database compiles each only once.
 */
#include <string.h>

#include "exp_local.h"

int bind_owner_table(int ti)
{
    const char *values[2] = {g_exp.owner_name, exp_table_name(ti)};

    for (int i = 0; i < 2; i++) {
        OCIBind *bindp = NULL;
        sword rc = OCIBindByPos(g_env.smthp, &bindp, g_env.errhp, (ub4)(i + 1), (void *)values[i],
                                (sb4)(strlen(values[i]) + 1), SQLT_STR, NULL, NULL, NULL, 0, NULL,
                                OCI_DEFAULT);
        if (check_error(&g_env, rc) != 0) {
            fprintf(stderr, "OCIBindByPos()\n%s\n", get_ora_message(&g_env));
            return -1;
        }
    }
    return 0;
}
