/*
 * gather_views.c - the schema's views as DBMS_METADATA gives them (FORCE,
 * so that a view naming an object outside the dump is still created), the
 * owner's qualifier taken out of the query text too, in dependency order:
 * a view comes after every view its text names.
 */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"
#include "name_set.h"

typedef struct {
    char name[LONG_NAME_WIDTH];
    char *text;
    size_t len;
    int *deps;   /* indexes of the views its text names */
    int ndeps;
    int done;
} VIEW_TEXT;

static int compare_name(const void *key, const void *elem)
{
    return strcmp((const char *)key, ((const VIEW_TEXT *)elem)->name);
}

/* Records that view v names view w (once). Returns 0 or -1. */
static int add_dep(VIEW_TEXT *v, int w)
{
    for (int k = 0; k < v->ndeps; k++)
        if (v->deps[k] == w) return 0;
    int *p = (int *)realloc(v->deps, sizeof(int) * (size_t)(v->ndeps + 1));
    if (!p) return -1;
    v->deps = p;
    v->deps[v->ndeps++] = w;
    return 0;
}

/* Reads the query text of view i (after its head's " AS ") once: every
 * name in it, quoted or not, that is one of the views (sorted by name)
 * makes a dependency. Literals and comments name nothing. */
static int find_deps(VIEW_TEXT *views, int n, int i)
{
    const char *t = views[i].text, *end = t + views[i].len;
    const char *body = strstr(t, " AS ");
    const char *p = body ? body + 4 : t;
    char word[LONG_NAME_WIDTH];
    while (p < end) {
        size_t w = 0;
        if (*p == '\'') {
            for (p++; p < end && !(*p == '\'' && (p + 1 >= end || p[1] != '\'')); p += (*p == '\'') ? 2 : 1)
                ;
            p++;
            continue;
        }
        if (p + 1 < end && p[0] == '-' && p[1] == '-') {
            while (p < end && *p != '\n') p++;
            continue;
        }
        if (p + 1 < end && p[0] == '/' && p[1] == '*') {
            const char *e = strstr(p + 2, "*/");
            p = e ? e + 2 : end;
            continue;
        }
        if (*p == '"') {
            int fits = 1;
            for (p++; p < end; p++) {
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') p++;
                    else break;
                }
                if (w + 1 < sizeof(word)) word[w++] = *p;
                else fits = 0;
            }
            p++;
            if (!fits) continue;
        } else if (isalpha((unsigned char)*p) || *p == '_' || *p == '$' || *p == '#') {
            int fits = 1;
            for (; p < end && (isalnum((unsigned char)*p) || *p == '_' || *p == '$' || *p == '#'); p++) {
                if (w + 1 < sizeof(word)) word[w++] = (char)toupper((unsigned char)*p);
                else fits = 0;
            }
            if (!fits) continue;
        } else {
            p++;
            continue;
        }
        word[w] = '\0';
        VIEW_TEXT *hit = (VIEW_TEXT *)bsearch(word, views, (size_t)n, sizeof(VIEW_TEXT), compare_name);
        if (hit && hit != &views[i] && add_dep(&views[i], (int)(hit - views)) != 0) return -1;
    }
    return 0;
}

/* Whether every view v names is added already. */
static int ready(const VIEW_TEXT *views, const VIEW_TEXT *v)
{
    for (int k = 0; k < v->ndeps; k++)
        if (!views[v->deps[k]].done) return 0;
    return 1;
}

/* Adds the views so that each follows those it names; views naming each
 * other in a circle keep their order (FORCE creates them either way). */
static int compare_views(const void *a, const void *b)
{
    return strcmp(((const VIEW_TEXT *)a)->name, ((const VIEW_TEXT *)b)->name);
}

static int add_in_order(EXP_WORKER *w, VIEW_TEXT *views, int n)
{
    if (n > 1) qsort(views, (size_t)n, sizeof(VIEW_TEXT), compare_views);
    for (int i = 0; i < n; i++) {
        if (find_deps(views, n, i) != 0) {
            fprintf(stderr, "Allocate memory for views error.\n");
            return -1;
        }
    }
    for (int left = n; left > 0; left--) {
        int pick = -1;
        for (int i = 0; i < n && pick < 0; i++)
            if (!views[i].done && ready(views, &views[i])) pick = i;
        for (int i = 0; i < n && pick < 0; i++)
            if (!views[i].done) pick = i;
        if (add_object(w, NULL, OBJ_VIEW, views[pick].text, views[pick].len, NULL, "view",
                       views[pick].name) != 0)
            return -1;
        views[pick].done = 1;
    }
    return 0;
}

int view_exported(const EXP_RUN *run, const char *name)
{
    const char (*names)[LONG_NAME_WIDTH] = (const char (*)[LONG_NAME_WIDTH])run->view_names;
    for (int lo = 0, hi = run->nviews; lo < hi;) {
        int mid = lo + (hi - lo) / 2, c = strcmp(names[mid], name);
        if (c == 0) return 1;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return 0;
}

void forget_views(EXP_RUN *run)
{
    free(run->view_names);
    run->view_names = NULL;
    run->nviews = 0;
    if (run->mviews) name_set_clear(run->mviews);
    free(run->mviews);
    run->mviews = NULL;
}

typedef struct {
    VIEW_TEXT *views;
    int n, cap;
} VIEW_LIST;

/* Takes an empty column list "()" out of the head of a view's text: the
 * dictionary knows no columns of a FORCE view whose query names a missing
 * object, and no database accepts an empty list. Without a list the view
 * takes its columns from its query once that compiles. */
static void drop_empty_columns(char *text, size_t *len)
{
    long at = find_words(text, *len, "VIEW", NULL);
    if (at < 0) return;
    size_t p = (size_t)at + 4;
    while (p < *len && text[p] == ' ') p++;
    if (p >= *len || text[p] != '"') return;
    for (p++; p < *len; p++) {
        if (text[p] != '"') continue;
        if (p + 1 < *len && text[p + 1] == '"') {
            p++;
            continue;
        }
        break;
    }
    if (p >= *len) return;
    size_t from = ++p;  /* just after the name */
    while (p < *len && (text[p] == ' ' || text[p] == '\n')) p++;
    if (p >= *len || text[p] != '(') return;
    for (p++; p < *len && (text[p] == ' ' || text[p] == '\n'); p++)
        ;
    if (p >= *len || text[p] != ')') return;
    p++;
    memmove(text + from, text + p, *len - p + 1);
    *len -= p - from;
}

static int take_view(DICT_QUERY *q, void *ctx)
{
    VIEW_LIST *l = (VIEW_LIST *)ctx;
    size_t len;
    int rc;
    char *text = dict_text(q, 1, 1, "view", q->val[0], 0, &len, &rc);
    if (!text) return rc;
    drop_empty_columns(text, &len);
    if (l->n == l->cap) {
        int cap = l->cap ? l->cap * 2 : 16;
        VIEW_TEXT *p = (VIEW_TEXT *)realloc(l->views, sizeof(VIEW_TEXT) * (size_t)cap);
        if (!p) {
            fprintf(stderr, "Allocate memory for views error.\n");
            free(text);
            return -1;
        }
        l->views = p;
        l->cap = cap;
    }
    VIEW_TEXT *v = &l->views[l->n++];
    memset(v, 0, sizeof(*v));
    strncpy(v->name, q->val[0], sizeof(v->name) - 1);
    v->text = text;
    v->len = len;
    return 0;
}

int gather_views(EXP_WORKER *w)
{
    static const ub4 widths[2] = {LONG_NAME_WIDTH, DICT_CODE_WIDTH};
    char bulk[512], list[512], esc_owner[ESC_NAME_SIZE];
    VIEW_LIST l = {NULL, 0, 0};

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(bulk, sizeof(bulk),
             "select VIEW_NAME, DBMS_METADATA.GET_DDL('VIEW', VIEW_NAME, OWNER)\n"
             "from ALL_VIEWS where OWNER='%s' order by VIEW_NAME",
             esc_owner);
    snprintf(list, sizeof(list), "select VIEW_NAME from ALL_VIEWS where OWNER='%s' order by VIEW_NAME",
             esc_owner);
    int ret = dict_each_ddl(w, bulk, list, 2, widths, "VIEW", 0, "view", take_view, &l);
    VIEW_TEXT *views = l.views;
    int n = l.n;
    if (ret >= 0) ret = add_in_order(w, views, n);
    forget_views(w->run);
    if (ret >= 0 && n > 0) {
        /* add_in_order sorted them by name */
        char (*names)[LONG_NAME_WIDTH] = (char (*)[LONG_NAME_WIDTH])malloc(LONG_NAME_WIDTH * (size_t)n);
        if (!names) {
            fprintf(stderr, "Allocate memory for views error.\n");
            ret = -1;
        } else {
            for (int i = 0; i < n; i++) memcpy(names[i], views[i].name, LONG_NAME_WIDTH);
            w->run->view_names = (char *)names;
            w->run->nviews = n;
        }
    }
    for (int i = 0; i < n; i++) {
        free(views[i].text);
        free(views[i].deps);
    }
    free(views);
    return ret < 0 ? -1 : 0;
}
