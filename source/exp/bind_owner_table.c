/*
 * bind_owner_table.c - binds the exported owner and one table's name to the
 * placeholders :1 and :2 of the prepared statement, so that the queries run
 * for every table keep one text and the database compiles each only once.
 */
#include <string.h>

#include "exp_local.h"

int bind_owner_table(EXP_WORKER *w, const EXP_TABLE *tab)
{
    const char *values[2] = {w->run->owner_name, exp_table_name(tab)};

    for (int i = 0; i < 2; i++) {
        OCIBind *bindp = NULL;
        sword rc = OCIBindByPos(w->env.smthp, &bindp, w->env.errhp, (ub4)(i + 1), (void *)values[i],
                                (sb4)(strlen(values[i]) + 1), SQLT_STR, NULL, NULL, NULL, 0, NULL,
                                OCI_DEFAULT);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIBindByPos()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    }
    return 0;
}
