/*
 * gather_views.c - the schema's views as DBMS_METADATA gives them (FORCE,
 * so that a view naming an object outside the dump is still created), the
 * owner's qualifier taken out of the query text too, in dependency order:
 * a view comes after every view its text names. Their comments follow.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

typedef struct {
    char name[32];
    char *text;
    size_t len;
    int done;
} VIEW_TEXT;

/* Whether the text of view v names view w (as a word, quoted or not). */
static int names_view(const VIEW_TEXT *v, const VIEW_TEXT *w)
{
    char quoted[ESC_NAME_SIZE + 2], esc[ESC_NAME_SIZE];
    sql_escape(esc, sizeof(esc), w->name, '"');
    snprintf(quoted, sizeof(quoted), "\"%s\"", esc);
    /* past the view's own name in its CREATE ... VIEW "V" head */
    const char *body = strstr(v->text, " AS ");
    size_t off = body ? (size_t)(body - v->text) : 0;
    if (strstr(v->text + off, quoted)) return 1;
    return find_words(v->text + off, v->len - off, w->name, NULL) >= 0;
}

/* Adds the views so that each follows those it names; views naming each
 * other in a circle keep their order (FORCE creates them either way). */
static int add_in_order(VIEW_TEXT *views, int n)
{
    int left = n;
    while (left > 0) {
        int progress = 0;
        for (int i = 0; i < n; i++) {
            if (views[i].done) continue;
            int ready = 1;
            for (int j = 0; j < n && ready; j++)
                if (j != i && !views[j].done && names_view(&views[i], &views[j])) ready = 0;
            if (!ready) continue;
            if (add_object(-1, OBJ_VIEW, views[i].text, views[i].len, NULL, "view",
                           views[i].name) != 0)
                return -1;
            views[i].done = 1;
            left--;
            progress = 1;
        }
        if (progress) continue;
        for (int i = 0; i < n; i++) {
            if (views[i].done) continue;
            if (add_object(-1, OBJ_VIEW, views[i].text, views[i].len, NULL, "view",
                           views[i].name) != 0)
                return -1;
            views[i].done = 1;
            left--;
            break;
        }
    }
    return 0;
}

static int view_comments(const char *esc_owner)
{
    static const ub4 widths[3] = {32, 32, 16004};
    char sqltxt[640];
    DICT_QUERY q;
    int ret;
    snprintf(sqltxt, sizeof(sqltxt),
             "select TABLE_NAME, '', COMMENTS from ALL_TAB_COMMENTS\n"
             "where OWNER='%s' and TABLE_TYPE='VIEW' and COMMENTS is not null\n"
             "union all\n"
             "select c.TABLE_NAME, c.COLUMN_NAME, c.COMMENTS from ALL_COL_COMMENTS c, ALL_VIEWS v\n"
             "where c.OWNER='%s' and v.OWNER=c.OWNER and v.VIEW_NAME=c.TABLE_NAME\n"
             "and c.COMMENTS is not null",
             esc_owner, esc_owner);
    ret = dict_open(&q, sqltxt, 3, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (add_comment(-1, OBJ_VIEW, q.val[0], q.val[1][0] ? q.val[1] : NULL, q.val[2]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}

int gather_views(void)
{
    static const ub4 widths[2] = {32, 65536};
    char sqltxt[512], esc_owner[ESC_NAME_SIZE];
    DICT_QUERY q;
    VIEW_TEXT *views = NULL;
    int n = 0, cap = 0, ret;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select VIEW_NAME, DBMS_METADATA.GET_DDL('VIEW', VIEW_NAME, OWNER)\n"
             "from ALL_VIEWS\n"
             "where OWNER='%s'\n"
             "order by VIEW_NAME",
             esc_owner);
    ret = dict_open(&q, sqltxt, 2, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        size_t len;
        int rc;
        char *text = dict_text(&q, 1, 1, "view", q.val[0], 0, &len, &rc);
        if (!text) {
            if (rc == 0) continue;
            ret = -1;
            break;
        }
        if (n == cap) {
            cap = cap ? cap * 2 : 16;
            VIEW_TEXT *p = (VIEW_TEXT *)realloc(views, sizeof(VIEW_TEXT) * (size_t)cap);
            if (!p) {
                fprintf(stderr, "Allocate memory for views error.\n");
                free(text);
                ret = -1;
                break;
            }
            views = p;
        }
        VIEW_TEXT *v = &views[n++];
        memset(v, 0, sizeof(*v));
        strncpy(v->name, q.val[0], sizeof(v->name) - 1);
        v->text = text;
        v->len = len;
    }
    dict_close(&q);
    if (ret >= 0) ret = add_in_order(views, n);
    for (int i = 0; i < n; i++) free(views[i].text);
    free(views);
    if (ret < 0) return -1;
    return view_comments(esc_owner);
}
