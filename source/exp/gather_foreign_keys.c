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

static int add_key(DICT_QUERY *q, void *ctx)
{
    EXP_WORKER *w = q->w;
    (void)ctx;
    if (!find_table(w->run, q->val[0])) return 0;  /* its table is not in the dump */
    size_t len;
    int rc;
    char *text = dict_text(q, 3, 0, "foreign key", q->val[1],
                           strcmp(q->val[2], "GENERATED NAME") == 0, &len, &rc);
    if (!text) return rc;
    rc = add_object(w, NULL, OBJ_FOREIGN_KEY, text, len, NULL, "foreign key", q->val[1]);
    free(text);
    return rc;
}

int gather_foreign_keys(EXP_WORKER *w)
{
    static const ub4 widths[4] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, 16, 65536};
    static const char from[] =
        "from ALL_CONSTRAINTS\n"
        "where OWNER='%s' and CONSTRAINT_TYPE='R' and TABLE_NAME not like 'BIN$%%'\n"
        "order by TABLE_NAME, CONSTRAINT_NAME";
    char fmt[512], bulk[640], list[640], esc_owner[ESC_NAME_SIZE];

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(fmt, sizeof(fmt),
             "select TABLE_NAME, CONSTRAINT_NAME, GENERATED,\n"
             "DBMS_METADATA.GET_DDL('REF_CONSTRAINT', CONSTRAINT_NAME, OWNER)\n%s", from);
    snprintf(bulk, sizeof(bulk), fmt, esc_owner);
    snprintf(fmt, sizeof(fmt), "select TABLE_NAME, CONSTRAINT_NAME, GENERATED\n%s", from);
    snprintf(list, sizeof(list), fmt, esc_owner);
    return dict_each_ddl(w, bulk, list, 4, widths, "REF_CONSTRAINT", 1, "foreign key", add_key, NULL);
}
