/*
 * gather_synonyms.c - the schema's private synonyms as CREATE OR REPLACE
 * SYNONYM texts, from ALL_SYNONYMS in one query: a target in the schema
 * without its qualifier, one in another schema with it. Synonyms over a
 * database link are named in a warning.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"

int gather_synonyms(void)
{
    static const ub4 widths[4] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, LONG_NAME_WIDTH, 132};
    char sqltxt[512], esc_owner[ESC_NAME_SIZE], text[3 * ESC_NAME_SIZE + 96];
    char es[ESC_NAME_SIZE], eo[ESC_NAME_SIZE], et[ESC_NAME_SIZE];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select SYNONYM_NAME, TABLE_OWNER, TABLE_NAME, DB_LINK\n"
             "from ALL_SYNONYMS\n"
             "where OWNER='%s'\n"
             "order by SYNONYM_NAME",
             esc_owner);
    ret = dict_open(&q, sqltxt, 4, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (q.val[3][0] != '\0') {
            if (warn_object("synonym", q.val[0], "it names an object over a database link") == 0)
                continue;
            ret = -1;
            break;
        }
        sql_escape(es, sizeof(es), q.val[0], '"');
        sql_escape(eo, sizeof(eo), q.val[1], '"');
        sql_escape(et, sizeof(et), q.val[2], '"');
        if (strcmp(q.val[1], g_exp.owner_name) == 0 || q.val[1][0] == '\0')
            snprintf(text, sizeof(text), "CREATE OR REPLACE EDITIONABLE SYNONYM \"%s\" FOR \"%s\"",
                     es, et);
        else
            snprintf(text, sizeof(text),
                     "CREATE OR REPLACE EDITIONABLE SYNONYM \"%s\" FOR \"%s\".\"%s\"", es, eo, et);
        if (add_object(-1, OBJ_SYNONYM, text, strlen(text), NULL, "synonym", q.val[0]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
