/*
 * gather_mviews.c - the schema's materialized views and their logs as
 * DBMS_METADATA gives them, for the deferred list after the views: each
 * log (on a table of the dump) before the views, and after a view built
 * DEFERRED that was filled since, the call that fills it again once it
 * is created, and the indexes created on their container tables (not
 * those the view's own key brings). The container tables are left out of
 * the table list.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"
#include "name_set.h"

static const char index_setup[] =
    "BEGIN\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', %s);\n"
    "END;";

static int take_log(DICT_QUERY *q, void *ctx)
{
    EXP_WORKER *w = q->w;
    (void)ctx;
    if (!find_table(w->run, q->val[0])) return 0; /* its table is not in the dump */
    size_t len;
    int rc;
    char *text = dict_text(q, 1, 1, "materialized view log", q->val[0], 0, &len, &rc);
    if (!text) return rc;
    rc = add_object(w, NULL, OBJ_MVIEW, text, len, NULL, "materialized view log", q->val[0]);
    free(text);
    return rc;
}

static int take_mview(DICT_QUERY *q, void *ctx)
{
    EXP_WORKER *w = q->w;
    (void)ctx;
    size_t len;
    int rc;
    char *text = dict_text(q, 2, 1, "materialized view", q->val[0], 0, &len, &rc);
    if (!text) return rc;
    rc = add_object(w, NULL, OBJ_MVIEW, text, len, NULL, "materialized view", q->val[0]);
    free(text);
    if (rc != 0) return rc;
    EXP_RUN *run = w->run;
    if (!run->mviews) run->mviews = (NAME_SET *)calloc(1, sizeof(NAME_SET));
    if (!run->mviews || name_set_add(run->mviews, q->val[0]) != 0) {
        fprintf(stderr, "Allocate memory for the materialized views error.\n");
        return -1;
    }
    if (strcmp(q->val[1], "Y") != 0) return 0;
    char name[ESC_NAME_SIZE], call[ESC_NAME_SIZE + 64];
    sql_escape(name, sizeof(name), q->val[0], '\'');
    snprintf(call, sizeof(call), "BEGIN DBMS_MVIEW.REFRESH('\"%s\"'); END;", name);
    return add_object(w, NULL, OBJ_MVIEW, call, strlen(call), NULL, "materialized view", q->val[0]);
}

static int take_index(DICT_QUERY *q, void *ctx)
{
    EXP_WORKER *w = q->w;
    (void)ctx;
    if (!name_set_has(w->run->mviews, q->val[0])) return 0;
    size_t len;
    int rc;
    char *text = dict_text(q, 2, 0, "index", q->val[1], 0, &len, &rc);
    if (!text) return rc;
    rc = add_object(w, NULL, OBJ_MVIEW, text, len, NULL, "index", q->val[1]);
    free(text);
    return rc;
}

/* The indexes of the views' containers, after every view: those of the
 * owner that no constraint of the container uses (its key's index comes
 * with the view) and none Oracle names itself for a ROWID view. */
static int gather_mview_indexes(EXP_WORKER *w, const char *esc_owner)
{
    static const ub4 widths[3] = {132, 132, 65536};
    static const char from[] =
        "from ALL_INDEXES i, ALL_MVIEWS m\n"
        "where m.OWNER='%s' and i.TABLE_OWNER=m.OWNER and i.TABLE_NAME=m.MVIEW_NAME\n"
        "and i.OWNER=i.TABLE_OWNER and i.GENERATED='N' and i.INDEX_NAME not like 'I\\_SNAP$%%' escape '\\'\n"
        "and not exists (select 1 from ALL_CONSTRAINTS c where c.OWNER=i.TABLE_OWNER\n"
        "  and c.TABLE_NAME=i.TABLE_NAME and c.INDEX_NAME=i.INDEX_NAME)\n"
        "order by i.TABLE_NAME, i.INDEX_NAME";
    char bulk[1024], list[1024], where[768];
    if (run_transform_block(w, index_setup) != 0) return -1;
    snprintf(where, sizeof(where), from, esc_owner);
    snprintf(bulk, sizeof(bulk), "select i.TABLE_NAME, i.INDEX_NAME, DBMS_METADATA.GET_DDL('INDEX', i.INDEX_NAME, i.OWNER)\n%s",
             where);
    snprintf(list, sizeof(list), "select i.TABLE_NAME, i.INDEX_NAME\n%s", where);
    return dict_each_ddl(w, bulk, list, 3, widths, "INDEX", 1, "index", take_index, NULL) < 0 ? -1 : 0;
}

int gather_mviews(EXP_WORKER *w)
{
    static const ub4 log_widths[2] = {132, 65536};
    static const ub4 mv_widths[3] = {132, 4, 65536};
    char bulk[768], list[512], esc_owner[ESC_NAME_SIZE];

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(bulk, sizeof(bulk),
             "select MASTER, DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW_LOG', MASTER, LOG_OWNER)\n"
             "from ALL_MVIEW_LOGS where LOG_OWNER='%s' order by MASTER",
             esc_owner);
    snprintf(list, sizeof(list),
             "select MASTER from ALL_MVIEW_LOGS where LOG_OWNER='%s' order by MASTER", esc_owner);
    if (dict_each_ddl(w, bulk, list, 2, log_widths, "MATERIALIZED_VIEW_LOG", 0, "materialized view log",
                      take_log, NULL) < 0)
        return -1;
    /* the second column: 'Y' for a view built DEFERRED and filled since */
    snprintf(bulk, sizeof(bulk),
             "select MVIEW_NAME, case when BUILD_MODE='DEFERRED' and LAST_REFRESH_DATE is not null\n"
             "  then 'Y' else 'N' end,\n"
             "  DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', MVIEW_NAME, OWNER)\n"
             "from ALL_MVIEWS where OWNER='%s' order by MVIEW_NAME",
             esc_owner);
    snprintf(list, sizeof(list),
             "select MVIEW_NAME, case when BUILD_MODE='DEFERRED' and LAST_REFRESH_DATE is not null\n"
             "  then 'Y' else 'N' end\n"
             "from ALL_MVIEWS where OWNER='%s' order by MVIEW_NAME",
             esc_owner);
    if (dict_each_ddl(w, bulk, list, 3, mv_widths, "MATERIALIZED_VIEW", 0, "materialized view", take_mview,
                      NULL) < 0)
        return -1;
    return w->run->mviews ? gather_mview_indexes(w, esc_owner) : 0;
}
