/*
 * gather_uncarried.c - names in warnings what the dump cannot carry and
 * would otherwise lose without a word: objects of kinds the export does
 * not handle (database links, clusters, ...), public synonyms
 * for the schema's objects, and indexes of kinds not exported on the
 * exported tables.
 */
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "exp_local.h"

static int objects_of_other_kinds(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[2] = {132, 32};
    char sqltxt[1024];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select OBJECT_NAME, OBJECT_TYPE\n"
             "from ALL_OBJECTS\n"
             "where OWNER='%s' and OBJECT_TYPE not in ('TABLE', 'INDEX', 'SEQUENCE', 'VIEW',\n"
             "  'SYNONYM', 'PROCEDURE', 'FUNCTION', 'PACKAGE', 'PACKAGE BODY', 'TRIGGER',\n"
             "  'TYPE', 'TYPE BODY', 'LOB', 'TABLE PARTITION', 'TABLE SUBPARTITION',\n"
             "  'INDEX PARTITION', 'INDEX SUBPARTITION', 'LOB PARTITION', 'LOB SUBPARTITION',\n"
             "  'MATERIALIZED VIEW', 'DIMENSION')\n"
             "order by OBJECT_TYPE, OBJECT_NAME",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 2, widths);
    if (ret == 1 && strcasecmp(w->run->conn.username, w->run->owner_name) == 0) {
        /* a database with only the view of the user's own objects */
        char *from = strstr(sqltxt, "from ALL_OBJECTS\nwhere OWNER=");
        char *cond = from ? strstr(from, " and OBJECT_TYPE") : NULL;
        if (cond) {
            char rest[1024];
            snprintf(rest, sizeof(rest), "from USER_OBJECTS\nwhere 1=1%s", cond);
            strcpy(from, rest);
            ret = dict_open(w, &q, sqltxt, 2, widths);
        }
    }
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        char kind[40];
        snprintf(kind, sizeof(kind), "%s", q.val[1]);
        for (char *p = kind; *p; p++)
            if (*p >= 'A' && *p <= 'Z') *p = (char)(*p - 'A' + 'a');
        if (warn_object(w, kind, q.val[0], "this kind of object is not carried") != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

static int public_synonyms(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[1] = {132};
    char sqltxt[512];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select SYNONYM_NAME from ALL_SYNONYMS\n"
             "where OWNER='PUBLIC' and TABLE_OWNER='%s'\n"
             "order by SYNONYM_NAME",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 1, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1)
        if (warn_object(w, "public synonym", q.val[0], "public synonyms are not carried") != 0) {
            ret = -1;
            break;
        }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

static int other_indexes(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[3] = {132, LONG_NAME_WIDTH, 32};
    char sqltxt[768];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select INDEX_NAME, TABLE_NAME, INDEX_TYPE from ALL_INDEXES\n"
             "where OWNER='%s' and INDEX_TYPE not like 'NORMAL%%'\n"
             "and INDEX_TYPE not like 'FUNCTION%%' and INDEX_TYPE not like 'BITMAP%%'\n"
             "and INDEX_TYPE not in ('LOB', 'IOT - TOP')\n"
             "order by INDEX_NAME",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 3, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (!find_table(w->run, q.val[1])) continue;
        char why[80];
        snprintf(why, sizeof(why), "indexes of type %s are not carried", q.val[2]);
        if (warn_object(w, "index", q.val[0], why) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

int gather_uncarried(EXP_WORKER *w)
{
    char esc_owner[ESC_NAME_SIZE];
    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    if (other_indexes(w, esc_owner) != 0) return -1;
    if (!full_export(w->run)) return 0;
    if (objects_of_other_kinds(w, esc_owner) != 0) return -1;
    return public_synonyms(w, esc_owner);
}
