/*
 * gather_dimensions.c - the schema's dimensions in the deferred list, after
 * the tables their levels are on: DBMS_METADATA's text of each, from
 * ALL_DIMENSIONS in one query, without the owner's qualifier.
 */
#include <stdio.h>
#include <stdlib.h>

#include "exp_local.h"

static int take_dimension(DICT_QUERY *q, void *ctx)
{
    (void)ctx;
    size_t len;
    int rc;
    char *text = dict_text(q, 1, 1, "dimension", q->val[0], 0, &len, &rc);
    if (!text) return rc;
    rc = add_object(q->w, NULL, OBJ_DIMENSION, text, len, NULL, "dimension", q->val[0]);
    free(text);
    return rc;
}

int gather_dimensions(EXP_WORKER *w)
{
    static const ub4 widths[2] = {LONG_NAME_WIDTH, DICT_CODE_WIDTH};
    char bulk[512], list[512], esc_owner[ESC_NAME_SIZE];

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(bulk, sizeof(bulk),
             "select DIMENSION_NAME, DBMS_METADATA.GET_DDL('DIMENSION', DIMENSION_NAME, OWNER)\n"
             "from ALL_DIMENSIONS where OWNER='%s' order by DIMENSION_NAME",
             esc_owner);
    snprintf(list, sizeof(list),
             "select DIMENSION_NAME from ALL_DIMENSIONS where OWNER='%s' order by DIMENSION_NAME", esc_owner);
    return dict_each_ddl(w, bulk, list, 2, widths, "DIMENSION", 0, "dimension", take_dimension, NULL);
}
