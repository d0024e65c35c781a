/*
 * gather_mviews.c - the schema's materialized views and their logs as
 * DBMS_METADATA gives them, for the deferred list after the views: each
 * log (on a table of the dump) before the views, and after a view built
 * DEFERRED that was filled since, the call that fills it again once it
 * is created. Their container tables are left out of the table list.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

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
    if (rc != 0 || strcmp(q->val[1], "Y") != 0) return rc;
    char name[ESC_NAME_SIZE], call[ESC_NAME_SIZE + 64];
    sql_escape(name, sizeof(name), q->val[0], '\'');
    snprintf(call, sizeof(call), "BEGIN DBMS_MVIEW.REFRESH('\"%s\"'); END;", name);
    return add_object(w, NULL, OBJ_MVIEW, call, strlen(call), NULL, "materialized view", q->val[0]);
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
    return 0;
}
