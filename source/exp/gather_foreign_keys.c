/*
 * gather_foreign_keys.c - every foreign key whose table is exported, as
 * DBMS_METADATA gives it (REF_CONSTRAINT) with its delete rule and state,
 * in one query for the schema. They go to the deferred list, which runs
 * after every table is loaded: any order of the tables in the directory,
 * self-references and cycles all work. A key referencing another schema
 * keeps that schema's qualifier.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

int gather_foreign_keys(void)
{
    static const ub4 widths[4] = {32, 32, 16, 65536};
    char sqltxt[512], esc_owner[ESC_NAME_SIZE];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, CONSTRAINT_NAME, GENERATED,\n"
             "DBMS_METADATA.GET_DDL('REF_CONSTRAINT', CONSTRAINT_NAME, OWNER)\n"
             "from ALL_CONSTRAINTS\n"
             "where OWNER='%s' and CONSTRAINT_TYPE='R' and TABLE_NAME not like 'BIN$%%'\n"
             "order by TABLE_NAME, CONSTRAINT_NAME",
             esc_owner);
    ret = dict_open(&q, sqltxt, 4, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (find_table(q.val[0]) < 0) continue;  /* its table is not in the dump */
        size_t len;
        int rc;
        char *text = dict_text(&q, 3, 0, "foreign key", q.val[1],
                               strcmp(q.val[2], "GENERATED NAME") == 0, &len, &rc);
        if (!text) {
            if (rc == 0) continue;
            ret = -1;
            break;
        }
        rc = add_object(-1, OBJ_FOREIGN_KEY, text, len, NULL, "foreign key", q.val[1]);
        free(text);
        if (rc != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
