/*
 * gather_synonyms.c - the schema's private synonyms as records of their
 * names (or, where a record cannot hold one, CREATE OR REPLACE SYNONYM
 * text), from ALL_SYNONYMS in one query: a target in the schema without
 * its qualifier, one in another schema with it. Synonyms over a database
 * link are named in a warning.
 */
#include <stdio.h>
#include <string.h>

#include "dump_reader.h"
#include "exp_local.h"

/* The synonym as a record, from whose fields tabimp writes the statement;
 * 1 when a record cannot hold a name (a '"' in it), and it goes as text. */
static int synonym_record(EXP_WORKER *w, const char *name, const char *schema, const char *object)
{
    uint8_t p[DUMP_REC_SYNONYM_FIXED + 3 * DUMP_NAME_MAX];
    size_t sn = strlen(name), on = strlen(schema), xn = strlen(object);
    if (sn == 0 || xn == 0 || sn > DUMP_NAME_MAX || on > DUMP_NAME_MAX || xn > DUMP_NAME_MAX ||
        strchr(name, '"') || strchr(schema, '"') || strchr(object, '"'))
        return 1;
    p[0] = (uint8_t)sn;
    p[1] = (uint8_t)on;
    p[2] = (uint8_t)xn;
    memcpy(p + 3, name, sn);
    memcpy(p + 3 + sn, schema, on);
    memcpy(p + 3 + sn + on, object, xn);
    return add_record(w->run, OBJ_SYNONYM, DUMP_REC_SYNONYM, p, DUMP_REC_SYNONYM_FIXED + sn + on + xn);
}

int gather_synonyms(EXP_WORKER *w)
{
    static const ub4 widths[4] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, LONG_NAME_WIDTH, 132};
    char sqltxt[512], esc_owner[ESC_NAME_SIZE], text[3 * ESC_NAME_SIZE + 96];
    char es[ESC_NAME_SIZE], eo[ESC_NAME_SIZE], et[ESC_NAME_SIZE];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select SYNONYM_NAME, TABLE_OWNER, TABLE_NAME, DB_LINK\n"
             "from ALL_SYNONYMS\n"
             "where OWNER='%s'\n"
             "order by SYNONYM_NAME",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 4, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (q.val[3][0] != '\0') {
            if (warn_object(w, "synonym", q.val[0], "it names an object over a database link") == 0)
                continue;
            ret = -1;
            break;
        }
        int own = strcmp(q.val[1], w->run->owner_name) == 0 || q.val[1][0] == '\0';
        int rc = synonym_record(w, q.val[0], own ? "" : q.val[1], q.val[2]);
        if (rc < 0) {
            ret = -1;
            break;
        }
        if (rc == 0) continue;
        sql_escape(es, sizeof(es), q.val[0], '"');
        sql_escape(eo, sizeof(eo), q.val[1], '"');
        sql_escape(et, sizeof(et), q.val[2], '"');
        if (strcmp(q.val[1], w->run->owner_name) == 0 || q.val[1][0] == '\0')
            snprintf(text, sizeof(text), "CREATE OR REPLACE EDITIONABLE SYNONYM \"%s\" FOR \"%s\"",
                     es, et);
        else
            snprintf(text, sizeof(text),
                     "CREATE OR REPLACE EDITIONABLE SYNONYM \"%s\" FOR \"%s\".\"%s\"", es, eo, et);
        if (add_object(w, NULL, OBJ_SYNONYM, text, strlen(text), NULL, "synonym", q.val[0]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
