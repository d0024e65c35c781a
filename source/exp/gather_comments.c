/*
 * gather_comments.c - the comments on the exported tables, views and
 * their columns, from the two comment views in one query each, written as
 * COMMENT ON statements into each table's statement list, or after the
 * views in the deferred list.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

#define COMMENT_WIDTH 16004  /* 4000 bytes in the database, up to 4 per character here */

int add_comment(int ti, int order, const char *table, const char *column, const char *comment)
{
    char et[ESC_NAME_SIZE], ec[ESC_NAME_SIZE];
    size_t clen = strlen(comment);
    size_t size = 2 * clen + 2 * ESC_NAME_SIZE + 48;
    char *text = (char *)malloc(size);
    char *lit = (char *)malloc(2 * clen + 1);
    int rc = -1;
    if (!text || !lit) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", size);
    } else {
        sql_escape(et, sizeof(et), table, '"');
        sql_escape(lit, 2 * clen + 1, comment, '\'');
        if (column) {
            sql_escape(ec, sizeof(ec), column, '"');
            snprintf(text, size, "COMMENT ON COLUMN \"%s\".\"%s\" IS '%s'", et, ec, lit);
        } else {
            snprintf(text, size, "COMMENT ON TABLE \"%s\" IS '%s'", et, lit);
        }
        rc = add_object(ti, order, text, strlen(text), NULL, "comment on", table);
    }
    free(text);
    free(lit);
    return rc;
}

/* A comment on an exported table goes to its list; one on a view (or its
 * column) to the deferred list, after the views (gathered before it);
 * comments on anything else have nothing to go on. */
static int place_comment(const char *object, const char *column, const char *comment)
{
    int ti = find_table(object);
    if (ti >= 0) return add_comment(ti, OBJ_COMMENT, object, column, comment);
    if (view_exported(object)) return add_comment(-1, OBJ_VIEW, object, column, comment);
    return 0;
}

int gather_comments(void)
{
    static const ub4 tw[2] = {LONG_NAME_WIDTH, COMMENT_WIDTH};
    static const ub4 cw[3] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, COMMENT_WIDTH};
    char sqltxt[512], esc_owner[ESC_NAME_SIZE];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, COMMENTS from ALL_TAB_COMMENTS\n"
             "where OWNER='%s' and COMMENTS is not null",
             esc_owner);
    ret = dict_open(&q, sqltxt, 2, tw);
    if (ret < 0) return -1;
    if (ret == 0) {
        while ((ret = dict_next(&q)) == 1) {
            if (place_comment(q.val[0], NULL, q.val[1]) != 0) {
                ret = -1;
                break;
            }
        }
        dict_close(&q);
        if (ret < 0) return -1;
    }

    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, COLUMN_NAME, COMMENTS from ALL_COL_COMMENTS\n"
             "where OWNER='%s' and COMMENTS is not null",
             esc_owner);
    ret = dict_open(&q, sqltxt, 3, cw);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (place_comment(q.val[0], q.val[1], q.val[2]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
