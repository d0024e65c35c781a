/*
 * drop_uncarried_tables.c - takes out of the table list, each with its
 * warning, the tables the dump cannot carry (a column of a type the format
 * has no code for), and without one the overflow and mapping tables of
 * index-organized tables, which go with their table's CREATE TABLE, and
 * the containers of materialized views, which the views recreate.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

#define LEFT_OUT 0xFFFFFFFFu

/* Marks table `name` as left out, once, with the warning: its row count,
 * unused until its rows are exported, holds the mark until the list is
 * compacted. Returns 0 or -1. */
static int leave_out(EXP_WORKER *w, const char *name, const char *why)
{
    EXP_TABLE *tab = find_table(w->run, name);
    if (!tab || tab->info.nrows == LEFT_OUT) return 0;
    tab->info.nrows = LEFT_OUT;
    return warn_object(w, "table", name, why);
}

static int iot_segments(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[1] = {LONG_NAME_WIDTH};
    char sqltxt[512];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME from ALL_TABLES\n"
             "where OWNER='%s' and IOT_TYPE in ('IOT_OVERFLOW', 'IOT_MAPPING')",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 1, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        EXP_TABLE *tab = find_table(w->run, q.val[0]);
        if (tab) tab->info.nrows = LEFT_OUT;
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

static int odd_columns(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[3] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, 128};
    char sqltxt[1024];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, COLUMN_NAME, DATA_TYPE from ALL_TAB_COLS\n"
             "where OWNER='%s' and HIDDEN_COLUMN='NO' and VIRTUAL_COLUMN='NO'\n"
             "and DATA_TYPE not in ('NUMBER', 'FLOAT', 'CHAR', 'VARCHAR2', 'DATE', 'NCHAR',\n"
             "  'NVARCHAR2', 'LONG', 'LONG RAW', 'CLOB', 'BLOB', 'NCLOB', 'RAW',\n"
             "  'BINARY_FLOAT', 'BINARY_DOUBLE')\n"
             "order by TABLE_NAME, COLUMN_ID",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 3, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (convert_type_to_int(q.val[2]) != CTYPE_UNSUPPORTED) continue;
        char why[240];
        snprintf(why, sizeof(why), "column \"%s\" has the type %s, which is not carried", q.val[1],
                 q.val[2]);
        if (leave_out(w, q.val[0], why) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

/* The container tables of materialized views (the views recreate them)
 * and the tables of their logs: out of the list without a warning. A
 * prebuilt container is the user's own table and stays. */
static int mview_tables(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[1] = {132};
    char sqltxt[512];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select CONTAINER_NAME from ALL_MVIEWS where OWNER='%s' and BUILD_MODE<>'PREBUILT'\n"
             "union all select LOG_TABLE from ALL_MVIEW_LOGS where LOG_OWNER='%s'",
             esc_owner, esc_owner);
    ret = dict_open(w, &q, sqltxt, 1, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        EXP_TABLE *tab = find_table(w->run, q.val[0]);
        if (tab) tab->info.nrows = LEFT_OUT;
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

int drop_uncarried_tables(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    char esc_owner[ESC_NAME_SIZE];
    if (run->ntab == 0) return 0;
    sql_escape(esc_owner, sizeof(esc_owner), run->owner_name, '\'');
    for (int i = 0; i < run->ntab; i++) run->tabs[i].info.nrows = 0;
    if (iot_segments(w, esc_owner) != 0 || odd_columns(w, esc_owner) != 0 ||
        mview_tables(w, esc_owner) != 0)
        return -1;
    int n = 0, listed = 0, nlisted = listed_tables(run);
    for (int i = 0; i < run->ntab; i++) {
        if (run->tabs[i].info.nrows == LEFT_OUT) {
            free(run->tabs[i].long_name);
            continue;
        }
        if (i < nlisted) listed++;
        run->tabs[n++] = run->tabs[i];
    }
    run->nlisted = listed;
    if (n != run->ntab) {
        run->ntab = n;
        forget_table_names(run);
    }
    return 0;
}
