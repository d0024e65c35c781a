/*
 * select_tables.c - the TABLES list of both programs: parsing it, matching
 * names against it as Oracle's LIKE does, reporting entries that match no
 * table, and the SQL condition the export's table list query uses.
 */
#include <stdlib.h>
#include <string.h>

#include "args.h"

void free_tables(TABLE_LIST *t)
{
    free(t->list);
    t->list = NULL;
    t->n = 0;
}

static int is_space(char c)
{
    return c == ' ' || c == '\t';
}

int parse_tables(TABLE_LIST *t, const char *value)
{
    const char *s = value, *e = value + strlen(value);
    free_tables(t);
    while (s < e && is_space(*s)) s++;
    while (e > s && is_space(e[-1])) e--;
    if (s < e && *s == '(' && e[-1] == ')') {
        s++;
        e--;
    }
    size_t cap = 1;
    for (const char *p = s; p < e; p++) cap += (*p == ',');
    TABLE_PATTERN *list = calloc(cap, sizeof(*list));
    if (!list) {
        fprintf(stderr, "TABLES: out of memory.\n");
        return -1;
    }
    int n = 0;
    const char *p = s;
    for (;;) {
        /* one name: up to the next comma outside double quotes */
        const char *a = p, *b = p;
        int inq = 0;
        while (b < e && (inq || *b != ',')) {
            if (*b == '"') inq = !inq;
            b++;
        }
        const char *next = b;
        while (a < b && is_space(*a)) a++;
        while (b > a && is_space(b[-1])) b--;
        int r = -1;
        if (a < b) r = take_name(a, (size_t)(b - a), list[n].name, &list[n].quoted);
        if (r == 0 && list[n].name[0] == '\0') r = -3;
        if (r != 0) {
            int len = (int)(b - a);
            if (r == -2)
                fprintf(stderr, "Table name %.*s has characters after its closing quote.\n", len, a);
            else if (r == -1 && a < b)
                fprintf(stderr, "Table name %.*s too long or its quote not closed.\n", len, a);
            else
                fprintf(stderr, "Empty table name in TABLES.\n");
            free(list);
            return -1;
        }
        n++;
        if (next >= e) break;
        p = next + 1;
    }
    t->list = list;
    t->n = n;
    return 0;
}

/* Length of the UTF-8 character starting at s (1 for a stray byte). */
static size_t char_len(const unsigned char *s)
{
    size_t n = 1;
    if (*s >= 0xC0)
        while (s[n] >= 0x80 && s[n] < 0xC0 && n < 4) n++;
    return n;
}

int like_match(const char *pattern, const char *name)
{
    const unsigned char *p = (const unsigned char *)pattern;
    const unsigned char *s = (const unsigned char *)name;
    const unsigned char *star = NULL, *resume = NULL;

    /* Greedy matching with one back-track point: the last %. */
    while (*s) {
        if (*p == '%') {
            while (*p == '%') p++;
            star = p;
            resume = s;
            continue;
        }
        if (*p == '_') {
            p++;
            s += char_len(s);
            continue;
        }
        if (*p && *p == *s) {
            p++;
            s++;
            continue;
        }
        if (!star) return 0;
        resume += char_len(resume);
        s = resume;
        p = star;
    }
    while (*p == '%') p++;
    return *p == '\0';
}

static int pattern_matches(const TABLE_PATTERN *t, const char *name)
{
    return t->quoted ? strcmp(t->name, name) == 0 : like_match(t->name, name);
}

int table_selected(const TABLE_LIST *t, const char *name)
{
    if (!t->list) return 1;
    for (int i = 0; i < t->n; i++)
        if (pattern_matches(&t->list[i], name)) return 1;
    return 0;
}

int check_selection_of(const TABLE_LIST *t, const char *(*name_of)(void *ctx, int i), void *ctx,
                       int n, const char *where)
{
    int rc = 0;
    for (int i = 0; i < t->n; i++) {
        int hit = 0;
        for (int j = 0; j < n && !hit; j++) hit = pattern_matches(&t->list[i], name_of(ctx, j));
        if (!hit) {
            fprintf(stderr, "Table \"%s\" not found in %s.\n", t->list[i].name, where);
            rc = -1;
        }
    }
    return rc;
}

static const char *listed_name(void *ctx, int i)
{
    return ((const TAB_INFO *)ctx)[i].tab_name;
}

int check_selection(const TABLE_LIST *t, const TAB_INFO *tabs, int n, const char *where)
{
    return check_selection_of(t, listed_name, (void *)tabs, n, where);
}

char *table_condition(const TABLE_LIST *tl)
{
    /* Per name at most: " or TABLE_NAME like '" + 31 doubled quotes and
     * escapes (62) + "' escape '\'" and the closing words. */
    size_t cap = 16 + (size_t)tl->n * 128;
    char *sql = malloc(cap);
    if (!sql) return NULL;
    size_t n = 0;
    sql[0] = '\0';
    if (!tl->list) return sql;
    n += (size_t)snprintf(sql + n, cap - n, " and (");
    for (int i = 0; i < tl->n; i++) {
        const TABLE_PATTERN *t = &tl->list[i];
        n += (size_t)snprintf(sql + n, cap - n, "%sTABLE_NAME like '", i ? " or " : "");
        for (const char *c = t->name; *c; c++) {
            /* a quoted name is exact: its % and _ (and the escape itself) escaped */
            if (t->quoted && (*c == '%' || *c == '_' || *c == '\\')) sql[n++] = '\\';
            if (*c == '\'') sql[n++] = '\'';
            sql[n++] = *c;
        }
        n += (size_t)snprintf(sql + n, cap - n, "'%s", t->quoted ? " escape '\\'" : "");
    }
    snprintf(sql + n, cap - n, ")");
    return sql;
}
