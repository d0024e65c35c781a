/*
 * gather_comments.c - the comments on the exported tables, views and
 * their columns, from the two comment views in one query each, carried as
 * records of the deferred list after the views (or, where a record cannot
 * hold one, as COMMENT ON text).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dump_reader.h"
#include "exp_local.h"

#define COMMENT_WIDTH 16004  /* 4000 bytes in the database, up to 4 per character here */

int add_comment(EXP_WORKER *w, EXP_TABLE *tab, int order, const char *table, const char *column, const char *comment)
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
        rc = add_object(w, tab, order, text, strlen(text), NULL, "comment on", table);
    }
    free(text);
    free(lit);
    return rc;
}

/* The comment as a record of the deferred list, from whose fields tabimp
 * writes the statement itself; 1 when a record cannot hold it (a name
 * with '"', a text past DUMP_COMMENT_MAX) and it goes as text. */
static int comment_record(EXP_WORKER *w, const char *object, const char *column, const char *comment)
{
    size_t tn = strlen(object), cn = column ? strlen(column) : 0, n = strlen(comment);
    if (tn == 0 || tn > DUMP_NAME_MAX || cn > DUMP_NAME_MAX || n > DUMP_COMMENT_MAX ||
        strchr(object, '"') || (column && strchr(column, '"')))
        return 1;
    uint8_t p[DUMP_REC_COMMENT_FIXED + 2 * DUMP_NAME_MAX + DUMP_COMMENT_MAX];
    p[0] = (uint8_t)tn;
    p[1] = (uint8_t)cn;
    memcpy(p + 2, object, tn);
    if (cn) memcpy(p + 2 + tn, column, cn);
    memcpy(p + 2 + tn + cn, comment, n);
    return add_record(w->run, OBJ_VIEW, DUMP_REC_COMMENT, p, DUMP_REC_COMMENT_FIXED + tn + cn + n);
}

/* A comment on an exported table or view (or one of their columns) goes
 * as a record to the deferred list, after the views (gathered before it),
 * where every table stands already; one a record cannot hold goes as text,
 * to the table's list or after the views. Comments on anything else have
 * nothing to go on. */
static int place_comment(EXP_WORKER *w, const char *object, const char *column, const char *comment)
{
    EXP_TABLE *tab = find_table(w->run, object);
    if (!tab && !view_exported(w->run, object)) return 0;
    int rc = comment_record(w, object, column, comment);
    if (rc <= 0) return rc;
    if (tab) return add_comment(w, tab, OBJ_COMMENT, object, column, comment);
    return add_comment(w, NULL, OBJ_VIEW, object, column, comment);
}

int gather_comments(EXP_WORKER *w)
{
    static const ub4 tw[2] = {LONG_NAME_WIDTH, COMMENT_WIDTH};
    static const ub4 cw[3] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, COMMENT_WIDTH};
    char sqltxt[512], esc_owner[ESC_NAME_SIZE];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, COMMENTS from ALL_TAB_COMMENTS\n"
             "where OWNER='%s' and COMMENTS is not null",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 2, tw);
    if (ret < 0) return -1;
    if (ret == 0) {
        while ((ret = dict_next(&q)) == 1) {
            if (place_comment(w, q.val[0], NULL, q.val[1]) != 0) {
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
    ret = dict_open(w, &q, sqltxt, 3, cw);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (place_comment(w, q.val[0], q.val[1], q.val[2]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
